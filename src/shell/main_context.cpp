#include "shell/main_context.h"

#include "pictures/server_list_view.h"
#include "session/ftp_component.h"
#include "shell/constants.h"
#include "shell/services.h"

namespace quillmar {

namespace {
// The number a missing selection carries, so the error report shows the
// "connect first" message, as for a list that was never filled.
constexpr int kNoRowSelected = 91;
}

void Inform(const Services& services, const QString& text)
{
    services.dialogs->message(text, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
}

bool EnsureConnected(const MainContext& context)
{
    if (context.ftp.State() != 0)
        return true;
    Inform(context.services, QStringLiteral("You must first connect to a server."));
    return false;
}

FtpError NoRowSelected()
{
    return FtpError(kNoRowSelected, QStringLiteral("No row of the server list is selected."));
}

QString SelectedServerRow(const MainContext& context)
{
    const QString text = context.serverView.selectedRowText();
    if (text.isEmpty())
        throw NoRowSelected();
    return text;
}

}  // namespace quillmar

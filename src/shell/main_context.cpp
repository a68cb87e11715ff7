#include "shell/main_context.h"

#include "session/ftp_component.h"
#include "shell/constants.h"
#include "shell/feedback.h"
#include "shell/services.h"

namespace quillmar {

void Inform(const Services& services, const QString& text)
{
    services.dialogs->message(text, Dialogs::Buttons::Ok, Dialogs::Icon::Information, kAppTitle);
}

bool EnsureConnected(const MainContext& context)
{
    if (context.ftp.State() != 0 || context.ftp.Reconnectable())
        return true;
    Inform(context.services, QStringLiteral("You must first connect to a server."));
    return false;
}

bool RunCommand(const MainContext& context, const std::function<void()>& work, Needs needs)
{
    if (needs == Needs::Connection && !EnsureConnected(context))
        return false;
    BusyPointer busy;
    CommandLight light(context.feedback);
    try {
        work();
        return true;
    } catch (const FtpError& error) {
        busy.restore();
        light.end();
        context.reportError(error);
        return false;
    }
}

FtpError NoRowSelected()
{
    return FtpError(ftp_errors::NoRowSelected, QStringLiteral("No row of the server list is selected."));
}

}  // namespace quillmar

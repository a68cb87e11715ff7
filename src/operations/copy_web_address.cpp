#include "operations/copy_web_address.h"

#include "pictures/server_list_view.h"
#include "shell/feedback.h"
#include "sites/web_address.h"

#include <QClipboard>
#include <QGuiApplication>

namespace quillmar {

void CopyWebAddress(const MainContext& context)
{
    if (!EnsureConnected(context))
        return;
    const QString row = context.serverView.selectedRowText();
    const WebAddressResult web = WebAddressFor(context.settings.WebAddress, context.settings.WebFolder,
                                               context.state.place.folder, row);
    if (web.address.isEmpty()) {
        Inform(context.services, web.problem);
        return;
    }
    QGuiApplication::clipboard()->setText(web.address);
    context.feedback.status(QStringLiteral("Status: Web address copied: ") + web.address);
}

}  // namespace quillmar

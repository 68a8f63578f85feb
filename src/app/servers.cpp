#include "app/servers.h"

#include "app/translation.h"
#include "console/form1.h"
#include "map/form3.h"

#include <cstdio>

namespace relm {

std::unique_ptr<RemotePanel> serveRemotePanel(Console &console, Form1 &form,
                                              const QHostAddress &address, quint16 port,
                                              QString *error)
{
    std::unique_ptr<RemotePanel> panel = RemotePanel::start(console, address, port, error);
    if (!panel)
        return panel;
    // The panel draws the map the map window has loaded, and again whenever it reloads.
    Form3 &map = form.form3();
    RemotePanel *p = panel.get();
    // Browsers that prefer English get the page in English whatever the console speaks.
    if (!p->loadEnglish(translationFile(QStringLiteral("en"), translationDirectories())))
        std::fprintf(stderr, "relm: the remote panel has no English: relm_en.qm not found\n");
    p->setMap(map.geometry());
    QObject::connect(&map, &Form3::geometryLoaded, &map, [&map, p] { p->setMap(map.geometry()); });
    std::printf("view: %s\ncontrol: %s\n", p->viewUrl().toString().toUtf8().constData(),
                p->controlUrl().toString().toUtf8().constData());
    std::fflush(stdout);
    form.setRemotePanelUrl(p->controlUrl().toString());
    return panel;
}

std::unique_ptr<WiThrottle> serveThrottles(Console &console, const QHostAddress &address,
                                           quint16 port, QString *error)
{
    std::unique_ptr<WiThrottle> throttles = WiThrottle::start(console, address, port, error);
    if (throttles) {
        std::printf("withrottle: %s\n", throttles->endpoint().toUtf8().constData());
        std::fflush(stdout);
    }
    return throttles;
}

} // namespace relm

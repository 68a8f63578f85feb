#include "withrottle/mdns_advert.h"

#include <QObject>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <string>

namespace relm {

namespace {

constexpr const char *kServiceType = "_withrottle._tcp";

} // namespace

// Avahi's client runs its own thread; what it has to say is posted to the thread that made the
// advertisement, through the context object living there.
struct MdnsAdvert::Avahi
{
    AvahiThreadedPoll *poll = nullptr;
    AvahiClient *client = nullptr;
    AvahiEntryGroup *group = nullptr; // touched only in Avahi's thread once it runs
    std::string name;
    quint16 port = 0;
    QObject context;
    Reporter report;

    void post(const QString &text)
    {
        QMetaObject::invokeMethod(
            &context, [report = report, text] { report(text); }, Qt::QueuedConnection);
    }

    void publish(AvahiClient *c)
    {
        if (group == nullptr)
            group = avahi_entry_group_new(c, &Avahi::onGroup, this);
        if (group == nullptr) {
            post(MdnsAdvert::tr("mDNS: 知らせられません (%1)")
                     .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(c)))));
            return;
        }
        if (!avahi_entry_group_is_empty(group))
            return;
        const int error = avahi_entry_group_add_service(
            group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(),
            kServiceType, nullptr, nullptr, port, nullptr);
        if (error == AVAHI_ERR_COLLISION) {
            rename();
            publish(c);
            return;
        }
        if (error < 0 || avahi_entry_group_commit(group) < 0) {
            post(MdnsAdvert::tr("mDNS: 知らせられません (%1)")
                     .arg(QString::fromUtf8(
                         avahi_strerror(error < 0 ? error : avahi_client_errno(c)))));
        }
    }

    // Another service on the network has the name: "RELM #2" and so on.
    void rename()
    {
        char *next = avahi_alternative_service_name(name.c_str());
        name = next;
        avahi_free(next);
        if (group != nullptr)
            avahi_entry_group_reset(group);
    }

    static void onClient(AvahiClient *c, AvahiClientState state, void *self)
    {
        auto *a = static_cast<Avahi *>(self);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            a->publish(c);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The host's own name is being settled; publish again once it runs.
            if (a->group != nullptr)
                avahi_entry_group_reset(a->group);
            break;
        case AVAHI_CLIENT_FAILURE:
            a->post(MdnsAdvert::tr("mDNS: Avahi デーモンとの接続が切れました (%1)")
                        .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(c)))));
            break;
        case AVAHI_CLIENT_CONNECTING:
            break;
        }
    }

    static void onGroup(AvahiEntryGroup *g, AvahiEntryGroupState state, void *self)
    {
        auto *a = static_cast<Avahi *>(self);
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            a->post(MdnsAdvert::tr("mDNS: %1 として %2 を知らせています")
                        .arg(QString::fromStdString(a->name), QString::fromLatin1(kServiceType)));
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            a->rename();
            a->publish(avahi_entry_group_get_client(g));
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            a->post(MdnsAdvert::tr("mDNS: 知らせられません (%1)")
                        .arg(QString::fromUtf8(
                            avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))))));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING:
            break;
        }
    }
};

MdnsAdvert::MdnsAdvert(const QString &name, quint16 port, Reporter reporter)
    : m_avahi(std::make_unique<Avahi>())
{
    Avahi &a = *m_avahi;
    a.name = name.toStdString();
    a.port = port;
    a.report = std::move(reporter);
    a.poll = avahi_threaded_poll_new();
    int error = AVAHI_ERR_NO_MEMORY;
    if (a.poll != nullptr)
        a.client = avahi_client_new(avahi_threaded_poll_get(a.poll), AvahiClientFlags(0),
                                    &Avahi::onClient, &a, &error);
    if (a.client == nullptr) {
        a.report(tr("mDNS: Avahi "
                    "デーモンが動いていないため、スロットルにこの計算機は一覧されません (%1)。"
                    "スロットルにはこの計算機のアドレスとポート %2 を入力してください")
                     .arg(QString::fromUtf8(avahi_strerror(error)), QString::number(port)));
        if (a.poll != nullptr)
            avahi_threaded_poll_free(a.poll);
        a.poll = nullptr;
        return;
    }
    avahi_threaded_poll_start(a.poll);
}

MdnsAdvert::~MdnsAdvert()
{
    if (m_avahi->poll == nullptr)
        return;
    avahi_threaded_poll_stop(m_avahi->poll);
    avahi_client_free(m_avahi->client); // frees the entry group with it
    avahi_threaded_poll_free(m_avahi->poll);
}

bool MdnsAdvert::running() const
{
    return m_avahi->poll != nullptr;
}

} // namespace relm

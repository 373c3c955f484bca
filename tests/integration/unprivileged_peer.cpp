// A bus peer of another Unix user: drops to the given user and group, then
// broadcasts a signal on the daemon's interface or calls one of its methods
// with string arguments. Prints the reply's first argument or the error name.
//   unprivileged_peer <uid> <gid> signal|call <member> [string...]
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTextStream>

#include <grp.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 5)
        return 2;
    const gid_t gid = gid_t(std::stoul(argv[2]));
    const uid_t uid = uid_t(std::stoul(argv[1]));
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
        return 3;

    QCoreApplication app(argc, argv);
    const QString interface = QStringLiteral("com.vexlo.location.fpcd");
    const QString path = QStringLiteral("/com/vexlo/location/fpcd");
    const QString kind = QString::fromLatin1(argv[3]);
    const QString member = QString::fromLatin1(argv[4]);
    QVariantList arguments;
    for (int i = 5; i < argc; ++i)
        arguments << QString::fromUtf8(argv[i]);

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return 4;
    QTextStream out(stdout);
    if (kind == QLatin1String("signal")) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/test/peer"), interface, member);
        signal.setArguments(arguments);
        bus.send(signal);
        // A call after the signal returns once the daemon has taken both.
        bus.call(QDBusMessage::createMethodCall(interface, path, interface, QStringLiteral("configurations")));
        out << "sent\n";
        return 0;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(interface, path, interface, member);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    out << (reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : reply.arguments().value(0).toString())
        << "\n";
    return 0;
}

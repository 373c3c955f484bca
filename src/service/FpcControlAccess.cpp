#include "FpcControlAccess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDebug>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

FpcControlAccess::FpcControlAccess()
    : FpcControlAccess(&FpcControlAccess::systemBusUser, &FpcControlAccess::systemGroupMember,
                       QStringLiteral(FPCD_CONTROL_GROUP))
{}

FpcControlAccess::FpcControlAccess(UserLookup userOf, GroupLookup isMember, const QString &controlGroup)
    : m_userOf(std::move(userOf)), m_isMember(std::move(isMember)), m_controlGroup(controlGroup)
{}

bool FpcControlAccess::allows(const QString &busName, const QString &action) const
{
    const std::optional<uint> uid = m_userOf(busName);
    if (uid && (*uid == 0 || m_isMember(*uid, m_controlGroup)))
        return true;
    qWarning().noquote() << "FpcControlAccess::allows()" << action << "refused: sender" << busName << "is user"
                         << (uid ? QString::number(*uid) : QStringLiteral("unknown")) << ", neither root nor in group"
                         << m_controlGroup;
    return false;
}

std::optional<uint> FpcControlAccess::systemBusUser(const QString &busName)
{
    QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    if (!bus || busName.isEmpty())
        return std::nullopt;
    const QDBusReply<uint> reply = bus->serviceUid(busName);
    if (!reply.isValid())
        return std::nullopt;
    return reply.value();
}

bool FpcControlAccess::systemGroupMember(uint uid, const QString &group)
{
    std::vector<char> buffer(16384);
    struct group groupEntry
    {};
    struct group *groupFound = nullptr;
    if (getgrnam_r(group.toLocal8Bit().constData(), &groupEntry, buffer.data(), buffer.size(), &groupFound) != 0
        || !groupFound)
        return false;
    const gid_t controlGid = groupFound->gr_gid;

    std::vector<char> userBuffer(16384);
    struct passwd userEntry
    {};
    struct passwd *userFound = nullptr;
    if (getpwuid_r(uid, &userEntry, userBuffer.data(), userBuffer.size(), &userFound) != 0 || !userFound)
        return false;
    int count = 64;
    std::vector<gid_t> groups(count);
    if (getgrouplist(userFound->pw_name, userFound->pw_gid, groups.data(), &count) < 0) {
        groups.resize(count);
        if (getgrouplist(userFound->pw_name, userFound->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(count);
    for (gid_t gid : groups) {
        if (gid == controlGid)
            return true;
    }
    return false;
}

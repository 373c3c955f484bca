#pragma once

#include <QString>

#include <functional>
#include <optional>

// Who may control the daemon: root and the members of the control group.
// The caller of a method or the sender of a control signal is known to the
// daemon only by its bus name; the bus tells its Unix user
// (GetConnectionUnixUser), the system's group database tells the user's
// groups. Both look-ups can be replaced, so that the refusal path can be
// tested by a test that itself runs as root.
class FpcControlAccess
{
public:
    // The Unix user behind a bus name; nothing when the bus cannot tell.
    using UserLookup = std::function<std::optional<uint>(const QString &busName)>;
    // Whether a user belongs to a group, as primary or supplementary group.
    using GroupLookup = std::function<bool(uint uid, const QString &group)>;

    // The system bus and the system's group database; the control group
    // chosen when the daemon was built.
    FpcControlAccess();
    FpcControlAccess(UserLookup userOf, GroupLookup isMember, const QString &controlGroup);

    // True for root and members of the control group. A refusal is logged
    // with the action and the sender; an unknown user is refused.
    bool allows(const QString &busName, const QString &action) const;

    QString controlGroup() const { return m_controlGroup; }

    static std::optional<uint> systemBusUser(const QString &busName);
    static bool systemGroupMember(uint uid, const QString &group);

private:
    UserLookup m_userOf;
    GroupLookup m_isMember;
    QString m_controlGroup;
};

#pragma once

#include <QString>

// The daemon's own community server ("community_upload_url"): when set,
// uploads go there as geosubmit instead of where the gateway's file points.
// Only an http(s) URL with a host is taken; any other value is refused,
// logged and put back to the one in effect, whichever way it came (D-Bus,
// configuration text, kept settings).
class FpcCommunityUpload
{
public:
    static const char *const Key;

    static bool accepts(const QString &value);
    // Hands the configured value to the gateway, or restores the previous
    // one when the configured value is refused. method names the caller in
    // the log.
    void apply(const char *method);

private:
    QString m_inEffect;
};

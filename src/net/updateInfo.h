#pragma once
// The update-information text: which build each channel offers, where its
// program file is (and the file's SHA-256 when the text gives one), and the
// notices aimed at particular versions. Pure functions over the text.
#include <QString>
#include <QStringList>

#include <optional>

class Ttpl;

// The parsed text, in the sectioned layout of the templates.
class TupdateInfo
{
public:
    // Nothing unless the text is complete (it holds "[EOF]").
    static std::optional<TupdateInfo> parse(const QString &text);

    // A section's text, trimmed ("" when missing).
    QString section(const QString &name) const;

private:
    QStringList names;
    QStringList bodies;
};

// What one channel offers ("stable" or "untested").
struct TupdateOffer
{
    QString version; // the channel's version name
    QString build;
    QString url;     // empty: nothing newer
    QString sha256;  // lowercase hex; empty when the text gives none
};

// The channel's offer when its build is greater than `currentBuild`
// (compared as text: "1000" is not greater than "401").
TupdateOffer channelOffer(const TupdateInfo &info, const QString &channel, const QString &currentBuild);

// The stable channel's offer, else the untested one's.
TupdateOffer bestOffer(const TupdateInfo &info, const QString &currentBuild);

// How an offer is named: its version name, or "Build #new (current is #old)"
// when the name equals the current version.
QString offerText(const TupdateOffer &offer, const QString &currentVersion, const QString &currentBuild);

// The notices of a "version notice" section meant for this version: each
// opens with "@" and a file mask, matched against the version and against
// "#" + build; its lines up to the next "@" are joined with CR.
QStringList versionNotices(const QString &noticeSection, const QString &currentVersion,
                           const QString &currentBuild);

// The SHA-256 the information gives for `url` (the url of either channel);
// empty when it gives none.
QString checksumFor(const TupdateInfo &info, const QString &url);

// The automatic check works at most every third of a day.
bool autoCheckDue(double lastCheck, double now);

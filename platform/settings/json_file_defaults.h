// The user defaults domain of the desktop session: one JSON object in
// $XDG_CONFIG_HOME/hushglass/defaults.json (~/.config when XDG_CONFIG_HOME is
// unset or not absolute), keyed by the defaults keys.
//
// Values: numbers, Booleans, strings and arrays of strings as themselves; data
// as {"base64": "…"}. Entries of any other shape are kept and written back
// untouched, but read as absent.
//
// Every write replaces the file at once and atomically (a temporary file
// renamed over the old one, so a crash never leaves half a file), with mode
// 0600; the folder is created on the first write. A file that cannot be parsed
// is never overwritten: it is moved aside next to itself, one log line names
// both paths, and the domain starts empty. Should even the move fail, the
// domain keeps changes in memory only and says so once. A file that cannot be
// read at all (no permission, not a regular file, larger than 16 MB) is left
// where it is: one log line, an empty domain, changes kept in memory only. A
// number no double can hold (1e400) reads as absent; the rest of the file
// stands. Main thread only.
#pragma once

#include <QJsonObject>
#include <QString>
#include <set>

#include "base/defaults.h"

namespace hg {

class JsonFileDefaults final : public DefaultsDomain {
public:
    static constexpr qsizetype kMaximumFileSize = qsizetype{16} << 20;

    explicit JsonFileDefaults(QString path = standardPath());

    [[nodiscard]] static QString standardPath();

    std::optional<DefaultsValue> object(std::string_view key) const override;
    bool hasObject(std::string_view key) const override;
    void setObject(std::string_view key, DefaultsValue value) override;
    void removeObject(std::string_view key) override;

    [[nodiscard]] const QString& path() const { return m_path; }
    // Where a bad file was moved at start-up; empty when none was.
    [[nodiscard]] const QString& movedAsidePath() const { return m_movedAsidePath; }
    // False when the file could not be read, or a bad one could not be moved
    // aside: changes stay in memory.
    [[nodiscard]] bool isWritable() const { return m_writable; }

private:
    void load();
    void setAside(const QString& reason);
    void leaveInPlace(const QString& reason);
    void save();

    QString m_path;
    QString m_movedAsidePath;
    QJsonObject m_root;
    bool m_writable = true;
    std::set<QString> m_reportedWriteErrors;
};

} // namespace hg

#include "platform/settings/json_file_defaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/log.h"

namespace hg {
namespace {

QString qkey(std::string_view key)
{
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

std::optional<DefaultsValue> fromJson(const QJsonValue& value)
{
    if (value.isDouble())
        return value.toDouble();
    if (value.isBool())
        return value.toBool();
    if (value.isString())
        return value.toString().toStdString();
    if (value.isArray()) {
        std::vector<std::string> strings;
        for (const QJsonValue& element : value.toArray()) {
            if (!element.isString())
                return std::nullopt;
            strings.push_back(element.toString().toStdString());
        }
        return strings;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.size() != 1 || !object.value("base64").isString())
            return std::nullopt;
        const QByteArray decoded = QByteArray::fromBase64(object.value("base64").toString().toLatin1());
        return Bytes(decoded.begin(), decoded.end());
    }
    return std::nullopt;
}

QJsonValue toJson(const DefaultsValue& value)
{
    struct Visitor {
        QJsonValue operator()(double d) const { return d; }
        QJsonValue operator()(bool b) const { return b; }
        QJsonValue operator()(const std::string& s) const { return QString::fromStdString(s); }
        QJsonValue operator()(const std::vector<std::string>& strings) const
        {
            QJsonArray array;
            for (const auto& s : strings)
                array.append(QString::fromStdString(s));
            return array;
        }
        QJsonValue operator()(const Bytes& bytes) const
        {
            const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
            return QJsonObject{{"base64", QString::fromLatin1(raw.toBase64())}};
        }
    };
    return std::visit(Visitor{}, value);
}

// The text with every number a double cannot hold (1e400) written as null,
// so that one such value reads as absent instead of spoiling the whole file.
QByteArray nullOutOfRangeNumbers(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    bool inString = false;
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i];
        if (inString) {
            out.append(c);
            if (c == '\\' && i + 1 < text.size()) {
                out.append(text[i + 1]);
                i += 2;
                continue;
            }
            inString = c != '"';
            ++i;
            continue;
        }
        if (c == '"') {
            inString = true;
            out.append(c);
            ++i;
            continue;
        }
        if (c != '-' && (c < '0' || c > '9')) {
            out.append(c);
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < text.size() && std::strchr("0123456789+-.eE", text[end]) && text[end] != '\0')
            ++end;
        double value = 0;
        const auto [ptr, ec] = std::from_chars(text.constData() + i, text.constData() + end, value);
        if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(value)))
            out.append("null");
        else
            out.append(text.constData() + i, end - i);
        i = end;
    }
    return out;
}

} // namespace

QString JsonFileDefaults::standardPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + "/.config";
    return base + "/hushglass/defaults.json";
}

JsonFileDefaults::JsonFileDefaults(QString path) : m_path(std::move(path))
{
    load();
}

void JsonFileDefaults::load()
{
    // Opened without blocking (a FIFO would wait for a writer for ever) and
    // read only when it is a regular file of a sane size (a link to /dev/zero
    // never ends).
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT)
            leaveInPlace(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    struct stat st {};
    QByteArray text;
    QString problem;
    if (::fstat(fd, &st) != 0) {
        problem = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        problem = QStringLiteral("it is not a regular file");
    } else if (st.st_size > kMaximumFileSize) {
        problem = QStringLiteral("it is larger than %1 MB").arg(kMaximumFileSize >> 20);
    } else {
        text.resize(static_cast<qsizetype>(st.st_size) + 1);
        qsizetype filled = 0;
        while (filled < text.size()) {
            const ssize_t n = ::read(fd, text.data() + filled, static_cast<std::size_t>(text.size() - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                problem = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
            if (n == 0)
                break;
            filled += n;
            if (filled == text.size() && filled <= kMaximumFileSize)
                text.resize(std::min<qsizetype>(text.size() * 2, kMaximumFileSize + 1));
        }
        if (problem.isEmpty() && filled > kMaximumFileSize)
            problem = QStringLiteral("it is larger than %1 MB").arg(kMaximumFileSize >> 20);
        text.truncate(filled);
    }
    ::close(fd);
    if (!problem.isEmpty()) {
        leaveInPlace(problem);
        return;
    }
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error == QJsonParseError::IllegalNumber) {
        QJsonParseError second{};
        QJsonDocument retried = QJsonDocument::fromJson(nullOutOfRangeNumbers(text), &second);
        if (second.error == QJsonParseError::NoError) {
            document = std::move(retried);
            error = second;
        }
    }
    if (error.error != QJsonParseError::NoError) {
        setAside(QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset));
        return;
    }
    if (!document.isObject()) {
        setAside(QStringLiteral("it does not hold one JSON object"));
        return;
    }
    m_root = document.object();
}

void JsonFileDefaults::leaveInPlace(const QString& reason)
{
    // A file that cannot be read may still be a good one (its mode, its owner,
    // a disk error): it is neither moved nor overwritten.
    m_writable = false;
    logLine(QStringLiteral("Hushglass: the defaults file %1 cannot be read (%2); it is left as it is, the settings "
                           "start from their defaults and changes will not be saved")
                .arg(m_path, reason)
                .toStdString());
}

void JsonFileDefaults::setAside(const QString& reason)
{
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString target = m_path + ".corrupt-" + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_path + ".corrupt-" + stamp + "-" + QString::number(n);
    if (QFile::rename(m_path, target)) {
        m_movedAsidePath = target;
        logLine(QStringLiteral("Hushglass: the defaults file %1 could not be read (%2); it was moved to %3 and the "
                               "settings start from their defaults")
                    .arg(m_path, reason, target)
                    .toStdString());
        return;
    }
    m_writable = false;
    logLine(QStringLiteral("Hushglass: the defaults file %1 could not be read (%2) nor moved aside; the settings start "
                           "from their defaults and changes will not be saved")
                .arg(m_path, reason)
                .toStdString());
}

std::optional<DefaultsValue> JsonFileDefaults::object(std::string_view key) const
{
    const auto it = m_root.constFind(qkey(key));
    if (it == m_root.constEnd())
        return std::nullopt;
    return fromJson(it.value());
}

bool JsonFileDefaults::hasObject(std::string_view key) const
{
    return m_root.contains(qkey(key));
}

void JsonFileDefaults::setObject(std::string_view key, DefaultsValue value)
{
    m_root.insert(qkey(key), toJson(value));
    save();
}

void JsonFileDefaults::removeObject(std::string_view key)
{
    if (!m_root.contains(qkey(key)))
        return;
    m_root.remove(qkey(key));
    save();
}

void JsonFileDefaults::save()
{
    if (!m_writable)
        return;
    const QFileInfo info(m_path);
    QString error;
    const bool folderExisted = info.absoluteDir().exists();
    if (!QDir().mkpath(info.absolutePath())) {
        error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
    } else {
        if (!folderExisted)
            QFile::setPermissions(info.absolutePath(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QSaveFile file(m_path);
        if (!file.open(QIODevice::WriteOnly))
            error = file.errorString();
        else if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            error = QStringLiteral("cannot restrict its permissions: %1").arg(file.errorString());
        else if (file.write(QJsonDocument(m_root).toJson(QJsonDocument::Indented)) < 0 || !file.commit())
            error = file.errorString();
    }
    if (error.isEmpty()) {
        m_reportedWriteErrors.clear();
        return;
    }
    // One line per kind of failure, not one per change.
    if (m_reportedWriteErrors.insert(error).second)
        logLine(QStringLiteral("Hushglass: could not save the defaults file %1: %2; changes are kept until Hushglass "
                               "quits")
                    .arg(m_path, error)
                    .toStdString());
}

} // namespace hg

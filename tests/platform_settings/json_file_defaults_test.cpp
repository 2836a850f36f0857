#include "platform/settings/json_file_defaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/log.h"

namespace hg {
namespace {

class DefaultsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previousSink = setLogSink([this](std::string_view line) { m_log.emplace_back(line); });
    }
    void TearDown() override { setLogSink(std::move(m_previousSink)); }

    QString path() const { return m_dir.path() + "/config/hushglass/defaults.json"; }

    void writeRaw(const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readRaw(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    std::vector<std::string> m_log;
    LogSink m_previousSink;
};

// Runs `check` in a forked child; true when it returned true there.
template <typename Check>
bool inFreshProcess(Check check)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(check() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(DefaultsFileTest, EveryTypeRoundTripsThroughAFreshProcess)
{
    {
        JsonFileDefaults defaults(path());
        defaults.setDouble("blurRadius", 27.25);
        defaults.setBool("enabled", true);
        defaults.setString("blurTintColor", "FF8000FF");
        defaults.setStringArray("excludedDisplayIDs", {"10", "2", "screen-1-显示器"});
        defaults.setData("hotkeys.assignments", Bytes{0, 1, 2, 0xFF, '"', '\n'});
        defaults.setStringArray("empty", {});
    }
    EXPECT_TRUE(inFreshProcess([&] {
        JsonFileDefaults defaults(path());
        return defaults.doubleValue("blurRadius") == 27.25 && defaults.boolValue("enabled") == true
            && defaults.stringValue("blurTintColor") == "FF8000FF"
            && defaults.stringArray("excludedDisplayIDs")
            == std::vector<std::string>{"10", "2", "screen-1-显示器"}
            && defaults.data("hotkeys.assignments") == Bytes{0, 1, 2, 0xFF, '"', '\n'}
            && defaults.stringArray("empty") == std::vector<std::string>{} && !defaults.hasObject("missing");
    }));
}

TEST_F(DefaultsFileTest, WritesCreateTheFolderAndReplaceTheFileAtomicallyWithOwnerOnlyMode)
{
    JsonFileDefaults defaults(path());
    EXPECT_FALSE(QFileInfo::exists(path())) << "reading alone must not create the file";
    defaults.setDouble("blurRadius", 30);
    defaults.setBool("revealCursor", true);

    struct stat st {};
    ASSERT_EQ(::stat(path().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file itself is left in the folder: no temporary files.
    EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"defaults.json"});
    EXPECT_TRUE(inFreshProcess([&] { return JsonFileDefaults(path()).boolValue("revealCursor") == true; }));

    defaults.removeObject("revealCursor");
    EXPECT_TRUE(inFreshProcess([&] { return !JsonFileDefaults(path()).hasObject("revealCursor"); }));
    EXPECT_TRUE(m_log.empty());
}

TEST_F(DefaultsFileTest, CorruptFileIsMovedAsideReportedOnceAndNeverOverwritten)
{
    const QByteArray garbage = "{\"blurRadius\": 30,, oops";
    writeRaw(garbage);

    JsonFileDefaults defaults(path());
    EXPECT_FALSE(defaults.hasObject("blurRadius"));
    ASSERT_FALSE(defaults.movedAsidePath().isEmpty());
    EXPECT_EQ(readRaw(defaults.movedAsidePath()), garbage);
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find(path().toStdString()), std::string::npos);
    EXPECT_NE(m_log[0].find(defaults.movedAsidePath().toStdString()), std::string::npos);

    defaults.setDouble("blurRadius", 12);
    EXPECT_EQ(readRaw(defaults.movedAsidePath()), garbage);
    EXPECT_EQ(JsonFileDefaults(path()).doubleValue("blurRadius"), 12.0);
}

TEST_F(DefaultsFileTest, AFileThatIsNotOneObjectIsSetAsideToo)
{
    for (const QByteArray& content : {QByteArray("[1, 2, 3]"), QByteArray("\"text\""), QByteArray("")}) {
        writeRaw(content);
        JsonFileDefaults defaults(path());
        EXPECT_FALSE(defaults.movedAsidePath().isEmpty()) << content.constData();
        EXPECT_FALSE(QFileInfo::exists(path()));
        QFile::remove(defaults.movedAsidePath());
    }
}

TEST_F(DefaultsFileTest, WronglyTypedEntriesReadAsAbsentButSurviveWrites)
{
    writeRaw(R"({"blurRadius": "wide", "excludedApps": ["a", 3], "enabled": null,
                 "future.setting": {"nested": [1, 2]}, "revealCursor": 1})");
    JsonFileDefaults defaults(path());
    EXPECT_TRUE(defaults.movedAsidePath().isEmpty());
    EXPECT_EQ(defaults.doubleValue("blurRadius"), std::nullopt);
    EXPECT_TRUE(defaults.hasObject("blurRadius"));
    EXPECT_EQ(defaults.stringArray("excludedApps"), std::nullopt);
    EXPECT_EQ(defaults.boolValue("enabled"), std::nullopt);
    EXPECT_EQ(defaults.boolValue("revealCursor"), true);

    defaults.setBool("blurEnabled", false);
    EXPECT_TRUE(readRaw(path()).contains("\"nested\"")) << "an entry this version does not know was lost";
}

TEST_F(DefaultsFileTest, AnUnwritableFolderIsReportedOnceAndChangesStayInMemory)
{
    // As root, permissions do not stop writes: run the check as an ordinary user.
    const QString folder = m_dir.path() + "/locked";
    QDir().mkpath(folder);
    ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);
    ::chmod(folder.toLocal8Bit().constData(), 0555);
    const QString file = folder + "/hushglass/defaults.json";
    EXPECT_TRUE(inFreshProcess([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return false;
        std::vector<std::string> lines;
        setLogSink([&](std::string_view line) { lines.emplace_back(line); });
        JsonFileDefaults defaults(file);
        defaults.setDouble("blurRadius", 40);
        defaults.setDouble("blurRadius", 41);
        return defaults.doubleValue("blurRadius") == 41.0 && lines.size() == 1
            && lines[0].find(file.toStdString()) != std::string::npos && !QFileInfo::exists(file);
    }));
}

TEST_F(DefaultsFileTest, SpecialAndHugeFilesAreLeftInPlaceWithoutWaitingOrReadingForEver)
{
    const QByteArray file = path().toLocal8Bit();
    const auto checkLeftInPlace = [&](const char* what) {
        // A child that hangs on the file is ended by the alarm, and fails.
        EXPECT_TRUE(inFreshProcess([&] {
            ::alarm(10);
            std::vector<std::string> lines;
            setLogSink([&](std::string_view line) { lines.emplace_back(line); });
            JsonFileDefaults defaults(path());
            defaults.setDouble("blurRadius", 40);
            return lines.size() == 1 && lines[0].find(path().toStdString()) != std::string::npos
                && defaults.movedAsidePath().isEmpty() && !defaults.isWritable()
                && defaults.doubleValue("blurRadius") == 40.0;
        })) << what;
        struct stat st {};
        EXPECT_EQ(::lstat(file.constData(), &st), 0) << what;
        EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 1)
            << what;
        return st;
    };

    QDir().mkpath(QFileInfo(path()).absolutePath());
    ASSERT_EQ(::mkfifo(file.constData(), 0600), 0);
    EXPECT_TRUE(S_ISFIFO(checkLeftInPlace("a FIFO").st_mode));
    ::unlink(file.constData());

    ASSERT_EQ(::symlink("/dev/zero", file.constData()), 0);
    EXPECT_TRUE(S_ISLNK(checkLeftInPlace("a link to /dev/zero").st_mode));
    ::unlink(file.constData());

    writeRaw("{\"enabled\": true}");
    ASSERT_EQ(::truncate(file.constData(), JsonFileDefaults::kMaximumFileSize + 1), 0);
    EXPECT_EQ(checkLeftInPlace("a file over the size limit").st_size, JsonFileDefaults::kMaximumFileSize + 1);
}

TEST_F(DefaultsFileTest, AFileThatMayNotBeReadIsLeftInPlaceAndNeverOverwritten)
{
    // As root, permissions do not stop reads: run the check as an ordinary user.
    const QByteArray content = "{\"blurRadius\": 30, \"enabled\": false}";
    writeRaw(content);
    ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);
    ::chmod((m_dir.path() + "/config").toLocal8Bit().constData(), 0755);
    // The user's own folder and file, the file with mode 000.
    ASSERT_EQ(::chown(QFileInfo(path()).absolutePath().toLocal8Bit().constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(path().toLocal8Bit().constData(), 65534, 65534), 0);
    ::chmod(path().toLocal8Bit().constData(), 0);
    EXPECT_TRUE(inFreshProcess([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return false;
        std::vector<std::string> lines;
        setLogSink([&](std::string_view line) { lines.emplace_back(line); });
        JsonFileDefaults defaults(path());
        const bool startsEmpty = !defaults.hasObject("blurRadius");
        defaults.setDouble("blurRadius", 40);
        defaults.setDouble("blurRadius", 41);
        return startsEmpty && defaults.doubleValue("blurRadius") == 41.0 && lines.size() == 1
            && lines[0].find(path().toStdString()) != std::string::npos && defaults.movedAsidePath().isEmpty();
    }));
    EXPECT_EQ(readRaw(path()), content);
    EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"defaults.json"});
}

TEST_F(DefaultsFileTest, ANumberNoDoubleHoldsReadsAsAbsentAndTheRestStands)
{
    writeRaw(R"({"blurRadius": 1e400, "blurTintAmount": -2E+999, "enabled": true,
                 "blurTintColor": "1e400 \" 5e999", "excludedApps": ["a", "b"], "cursorRevealRadius": 12.5})");
    JsonFileDefaults defaults(path());
    EXPECT_TRUE(defaults.movedAsidePath().isEmpty());
    EXPECT_TRUE(m_log.empty());
    EXPECT_EQ(defaults.doubleValue("blurRadius"), std::nullopt);
    EXPECT_EQ(defaults.doubleValue("blurTintAmount"), std::nullopt);
    EXPECT_EQ(defaults.boolValue("enabled"), true);
    EXPECT_EQ(defaults.stringValue("blurTintColor"), "1e400 \" 5e999");
    EXPECT_EQ(defaults.stringArray("excludedApps"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(defaults.doubleValue("cursorRevealRadius"), 12.5);
}

} // namespace
} // namespace hg

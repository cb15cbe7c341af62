#include "qt/desktop_launcher.h"

#include <fstream>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace ostrel::qt {

namespace {

// A desktop file is a few kilobytes; anything much larger is not one.
constexpr std::streamsize kMaxDesktopFile = 64 * 1024;

bool IsExecutableFile(const std::string& file) {
    QFileInfo info(QString::fromStdString(file));
    return info.isFile() && info.isExecutable();
}

std::string Trimmed(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos)
        return {};
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(begin, end - begin + 1));
}

// A desktop file id names a file in an applications folder, nothing more.
bool IsDesktopFileId(const std::string& id) {
    return id.size() > 8 && id.size() < 256 && id.ends_with(".desktop") &&
           id.find('/') == std::string::npos && id.front() != '.';
}

std::string QueryDefaultApplication(const std::string& type) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QString::fromStdString(type)});
    if (!query.waitForStarted(3000))
        return {};
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return {};
    std::string out = query.readAllStandardOutput().left(1024).toStdString();
    std::string id = Trimmed(out.substr(0, out.find('\n')));
    return IsDesktopFileId(id) ? id : std::string();
}

}  // namespace

LauncherEnvironment SystemLauncherEnvironment() {
    LauncherEnvironment environment;
    environment.path = qEnvironmentVariable("PATH").toStdString();
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        environment.applicationDirs.push_back(dir.toStdString());
    environment.defaultApplication = QueryDefaultApplication;
    return environment;
}

std::string FindInPath(const std::string& path, const std::string& program) {
    if (program.empty())
        return {};
    if (program.front() == '/')
        return IsExecutableFile(program) ? program : std::string();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(start, end - start);
        // An empty entry (and a relative one) would mean the current folder: not searched.
        if (!dir.empty() && dir.front() == '/') {
            std::string candidate = dir + (dir.back() == '/' ? "" : "/") + program;
            if (IsExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::optional<DesktopEntry> ReadDesktopEntry(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(kMaxDesktopFile + 1, '\0');
    in.read(text.data(), kMaxDesktopFile + 1);
    if (in.gcount() > kMaxDesktopFile)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));

    DesktopEntry entry;
    bool inEntry = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = Trimmed(std::string_view(line).substr(0, equals));
        std::string value = Trimmed(std::string_view(line).substr(equals + 1));
        if (key == "Exec")
            entry.exec = value;
        else if (key == "Terminal")
            entry.terminal = value == "true";
        else if (key == "Hidden")
            entry.hidden = value == "true";
    }
    if (entry.exec.empty())
        return std::nullopt;
    return entry;
}

std::optional<Launcher> FindLauncher(const LauncherEnvironment& environment, std::string_view type,
                                     bool web) {
    const std::string xdgOpen = FindInPath(environment.path, "xdg-open");
    std::string id =
        environment.defaultApplication ? environment.defaultApplication(std::string(type)) : "";
    if (!xdgOpen.empty() && IsDesktopFileId(id)) {
        for (const std::string& dir : environment.applicationDirs) {
            std::string file = dir + (dir.ends_with('/') ? "" : "/") + id;
            std::optional<DesktopEntry> entry = ReadDesktopEntry(file);
            if (!entry)
                continue;
            // The first folder that has the file decides, as for the desktop.
            if (!entry->terminal && !entry->hidden)
                return Launcher{xdgOpen, id};
            break;
        }
    }
    if (web) {
        // Debian's choice of graphical browser.
        std::string browser = FindInPath(environment.path, "x-www-browser");
        if (!browser.empty())
            return Launcher{browser, "x-www-browser"};
    }
    return std::nullopt;
}

std::string LauncherType(const QUrl& url) {
    if (url.isLocalFile())
        return "inode/directory";
    return "x-scheme-handler/" + url.scheme().toLower().toStdString();
}

bool StartLauncher(const Launcher& launcher, const QUrl& url) {
    const QString address = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return QProcess::startDetached(QString::fromStdString(launcher.program), {address});
}

}  // namespace ostrel::qt

// Process, host and clock services of the Linux platform.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SafeDirectory.h"
#include "runtime/EscapedName.h"
#include "runtime/RuntimeError.h"

namespace {

constexpr int kIoPriorityWhoProcess = 1;
constexpr int kIoPriorityClassShift = 13;
constexpr int kIoPriorityClassBestEffort = 2;

constexpr int kIoPriorityClassIdle = 3;

// The user's name and home directory from the password database.
struct UserEntry {
    std::string name;
    std::string home;
};
UserEntry userEntry() {
    UserEntry a;
    char buffer[4096];
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        a.name = entry.pw_name;
        a.home = entry.pw_dir;
    }
    return a;
}

// Makes a directory and its missing parents, the last one private to the user.
bool makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const bool last = slash == std::string::npos;
        if (::mkdir(part.c_str(), last ? 0700 : 0755) != 0 && errno != EEXIST) return false;
        if (last) break;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int ioPriority() {
    const long value = ::syscall(SYS_ioprio_get, kIoPriorityWhoProcess, 0);
    return value < 0 ? 0 : static_cast<int>(value);
}

void setIoPriority(int value) {
    ::syscall(SYS_ioprio_set, kIoPriorityWhoProcess, 0, value);
}

// The install prefix of an installed program: the install puts the program into
// <prefix>/lib/quellix (a distribution may choose libexec), while a build keeps it in its build
// folder's bin/. Nothing when the program's directory is not such a place.
std::optional<std::string> installPrefix(const std::string& programDirectory) {
    for (const std::string tail : {"/lib/quellix", "/libexec/quellix"}) {
        if (programDirectory.size() > tail.size() && programDirectory.ends_with(tail)) {
            return programDirectory.substr(0, programDirectory.size() - tail.size());
        }
    }
    if (programDirectory == "/lib/quellix") return "";
    return std::nullopt;
}

}  // namespace

LinuxPlatform::LinuxPlatform() : LinuxPlatform(Options{}) {}

LinuxPlatform::LinuxPlatform(Options options) : options_(std::move(options)) {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    startNice_ = errno == 0 ? nice : 0;
    startIoPriority_ = ioPriority();
}

LinuxPlatform::LinuxPlatform(int argc, const char* const* argv)
    : LinuxPlatform([&] {
          Options o;
          for (int i = 1; i < argc; ++i)
              o.arguments.emplace_back(argv[i]);
          return o;
      }()) {}

// There is no registry: the version text of the other host family cannot be read.
std::string LinuxPlatform::registryVersionNumber() {
    Raise(Err::FileNotFound);
}

std::vector<std::string> LinuxPlatform::arguments() {
    return options_.arguments;
}

std::string LinuxPlatform::programDirectory() {
    if (options_.programDirectory) return *options_.programDirectory;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    const std::string exe(buffer, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

// High: nice -10 and the best best-effort I/O class where the process may raise them; Normal:
// the values the program started with (nice 0 unless it was started under nice). A program
// started at a lowered priority (nice above 0 or the idle I/O class, as the scheduled service
// starts it) keeps it: whoever lowered it meant the run to yield to everything else. Failures
// are ignored: without the right the program runs at its normal priority.
void LinuxPlatform::setPriority(Priority priority) {
    const bool startedLow =
        startNice_ > 0 || (startIoPriority_ >> kIoPriorityClassShift) == kIoPriorityClassIdle;
    if (priority == Priority::High && startedLow) return;
    if (priority == Priority::High) {
        ::setpriority(PRIO_PROCESS, 0, std::min(startNice_, -10));
        setIoPriority(kIoPriorityClassBestEffort << kIoPriorityClassShift);
    } else {
        ::setpriority(PRIO_PROCESS, 0, startNice_);
        setIoPriority(startIoPriority_);
    }
}

std::string LinuxPlatform::hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

std::optional<std::string> LinuxPlatform::environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

double LinuxPlatform::monotonicSeconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string LinuxPlatform::utcTimestamp() {
    const time_t now = ::time(nullptr);
    struct tm utc {};
    ::gmtime_r(&now, &utc);
    char buffer[32];
    const std::size_t n = ::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(buffer, n);
}

// Where the written files go, first match wins:
//   STATE_DIRECTORY set      the service manager's choice (StateDirectory= of a systemd unit);
//   installed, run as root   /var/lib/quellix, never below the read-only install prefix;
//   a build that may write   its own directory;
//   otherwise                $XDG_STATE_HOME/quellix, by default ~/.local/state/quellix.
// Root takes a directory from its environment only when it is root's alone (SafeDirectory.h):
// the variables survive `sudo -E` and `su`, and a directory of a user's would let that user plant
// links for root to write through, and choose the fill text root writes next time. Otherwise root
// keeps its files where it would without the variable, and says so once.
std::string LinuxPlatform::stateDirectory() {
    const bool root = ::geteuid() == 0;
    const std::string program = programDirectory();
    const bool installed = installPrefix(program).has_value();
    const auto systemDirectory = [&] {
        const std::string dir = options_.systemStateDirectory.value_or("/var/lib/quellix");
        makeDirectories(dir);
        return dir;
    };
    const bool buildMayWrite =
        !installed && ::faccessat(AT_FDCWD, program.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    std::string named, by;
    if (const auto service = environment("STATE_DIRECTORY");
        service && !service->empty() && service->front() == '/') {
        // A colon-separated list when a unit names several; the first one is the program's.
        named = service->substr(0, service->find(':'));
        by = "STATE_DIRECTORY";
    } else if (installed && root) {
        return systemDirectory();
    } else if (buildMayWrite) {
        return program;
    } else if (const auto state = environment("XDG_STATE_HOME");
               state && !state->empty() && state->front() == '/') {
        named = *state + "/quellix";
        by = "XDG_STATE_HOME";
    } else {
        const auto home = environment("HOME");
        named = (home && !home->empty() ? *home : userEntry().home) + "/.local/state/quellix";
        by = "HOME";
    }
    if (!root) {
        // A directory that cannot be made shows in the failure of the first file written there.
        makeDirectories(named);
        return named;
    }
    const std::string unsafe = makeOwnDirectory(named);
    if (unsafe.empty()) return named;
    const std::string instead = buildMayWrite ? program : systemDirectory();
    const std::string note = "not keeping files in " + named + " (from " + by + "): " + unsafe +
                             "; they go to " + instead + " instead";
    const std::lock_guard<std::mutex> lock(stateMutex_);
    if (note != stateNote_) {
        stateNote_ = note;
        std::fprintf(stderr, "quellix: %s\n", EscapedName(note).c_str());
    }
    return instead;
}

std::string LinuxPlatform::documentDirectory() {
    const std::string program = programDirectory();
    if (const auto prefix = installPrefix(program)) return *prefix + "/share/doc/quellix";
    return program;
}

void LinuxPlatform::provideRuntimeDirectory() {
    const char* set = std::getenv("XDG_RUNTIME_DIR");
    if (set != nullptr && *set != '\0') return;
    const char* temp = std::getenv("TMPDIR");
    std::string user = userEntry().name;
    if (user.empty()) user = std::to_string(::geteuid());
    const std::string dir =
        std::string(temp != nullptr && *temp == '/' ? temp : "/tmp") + "/runtime-" + user;
    ::mkdir(dir.c_str(), 0700);
    // Only a directory of this user's alone will do; otherwise Qt is left to its own choice.
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return;
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

double LinuxPlatform::secondsSinceMidnight() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    ::tzset();
    struct tm local {};
    ::localtime_r(&now.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
           static_cast<double>(now.tv_nsec) / 1e9;
}

// Short date, blank, time with seconds, in the user's LC_TIME (LC_ALL, LC_TIME, LANG).
std::string LinuxPlatform::dateTimeText() {
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    std::string date = ::nl_langinfo_l(D_FMT, locale);
    std::string time = ::nl_langinfo_l(T_FMT, locale);
    if (date.empty()) date = "%m/%d/%y";
    if (time.empty()) time = "%H:%M:%S";
    const std::string format = date + " " + time;
    ::tzset();
    const time_t now = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    char buffer[256];
    const std::size_t n = ::strftime_l(buffer, sizeof buffer, format.c_str(), &local, locale);
    ::freelocale(locale);
    return std::string(buffer, n);
}

void LinuxPlatform::sleepFor(double seconds) {
    if (!(seconds > 0)) return;
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(seconds);
    left.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

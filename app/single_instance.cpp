#include "app/single_instance.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hg {

bool claimSingleInstance(const std::string& display)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = runtime && *runtime ? runtime : "/tmp/hushglass-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    std::string name = "hushglass-" + display + ".lock";
    for (char& c : name)
        if (c == '/')
            c = '_';
    const int fd = ::open((folder + "/" + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;  // nowhere to keep a lock: better two copies than none
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;  // the descriptor stays open until exit
}

} // namespace hg

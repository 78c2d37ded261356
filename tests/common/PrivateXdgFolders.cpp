// Linked into every test and benchmark program: before main() (and so before any QApplication,
// QSettings or edit journal) it points XDG_CONFIG_HOME and XDG_STATE_HOME at a fresh folder of
// this process, so no run reads or leaves the user's settings, recent files or journals, and no
// two tests running side by side see each other's. Programs the test starts inherit the folders.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

class PrivateXdgFolders {
public:
    PrivateXdgFolders() : owner_(getpid()) {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "emu-test-XXXXXX").string();
        if (ec || !mkdtemp(pattern.data())) {
            std::perror("emu test: cannot create a private XDG folder");
            std::_Exit(1);
        }
        root_ = pattern;
        setFolder("XDG_CONFIG_HOME", root_ / "config");
        setFolder("XDG_STATE_HOME", root_ / "state");
    }

    ~PrivateXdgFolders() {
        // A forked child that exits must not take its parent's folders with it.
        if (getpid() != owner_) {
            return;
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    PrivateXdgFolders(const PrivateXdgFolders&) = delete;
    PrivateXdgFolders& operator=(const PrivateXdgFolders&) = delete;

private:
    static void setFolder(const char* variable, const std::filesystem::path& path) {
        std::filesystem::create_directories(path);
        setenv(variable, path.c_str(), 1);
    }

    pid_t owner_;
    std::filesystem::path root_;
};

const PrivateXdgFolders folders;

} // namespace

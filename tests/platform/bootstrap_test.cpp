#include "platform/bootstrap.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/platform.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

// A directory of fake terminal emulators. Each records its name and
// arguments, one per line, in <name>.args in the log directory, then exits
// with the chosen status, or kills itself with SIGTERM for a negative one.
class FakeEmulators {
  public:
    void Add(const fs::path& dir, const std::string& name, int status) {
        std::string script = "#!/bin/sh\nprintf '%s\\n' \"" + name + "\" \"$@\" > '" +
                             (log_ / (name + ".args")).string() + "'\n";
        script += status >= 0 ? "exit " + std::to_string(status) + "\n" : "kill -TERM $$\n";
        fs::create_directories(dir);
        WriteTextFile(dir / name, script, true);
    }
    // The recorded command line, or "" when the emulator never ran.
    std::string Args(const std::string& name) const {
        return ReadTextFile(log_ / (name + ".args"));
    }
    fs::path Dir(const std::string& sub) const { return root_ / sub; }

  private:
    TempDir tmp_;
    fs::path root_ = tmp_.path();
    fs::path log_ = tmp_.path();
};

struct Desktop {
    const char* wayland;  // null: unset
    const char* display;
};

ChildResult Bootstrap(const Desktop& desktop, const std::string& path, int* result,
                      const fs::path& cwd = "/") {
    ChildResult r = RunInChild([&] {
        for (auto [name, value] : {std::pair{"WAYLAND_DISPLAY", desktop.wayland},
                                   std::pair{"DISPLAY", desktop.display}}) {
            if (value) {
                setenv(name, value, 1);
            } else {
                unsetenv(name);
            }
        }
        setenv("PATH", path.c_str(), 1);
        if (chdir(cwd.c_str()) != 0) return 99;
        int status = RunBootstrap("--nested");
        // Exit statuses only carry a byte: pass -1 as 255.
        return status & 0xFF;
    });
    *result = WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -2;
    if (*result == 255) *result = -1;
    return r;
}

std::string CommandLine(std::initializer_list<std::string> words) {
    std::string s;
    for (const std::string& w : words) s += w + "\n";
    return s;
}

}  // namespace

TEST(Bootstrap, DesktopVariablesDecideWhetherToTry) {
    struct Case {
        Desktop desktop;
        bool tries;
    };
    const Case cases[] = {
        {{nullptr, nullptr}, false},    {{"", ""}, false},  {{"", nullptr}, false},
        {{"wayland-0", nullptr}, true}, {{"", ":0"}, true}, {{nullptr, ":0"}, true},
        {{"wayland-0", ":0"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.desktop.wayland ? c.desktop.wayland : "(unset)") + " / " +
                     (c.desktop.display ? c.desktop.display : "(unset)"));
        FakeEmulators fakes;
        fakes.Add(fakes.Dir("bin"), "kitty", 0);
        int result = 0;
        ChildResult r = Bootstrap(c.desktop, fakes.Dir("bin").string(), &result);
        EXPECT_EQ(result, c.tries ? 0 : -1);
        EXPECT_EQ(!fakes.Args("kitty").empty(), c.tries);
        EXPECT_EQ(r.out, c.tries ? "Ran the show in a fullscreen kitty window.\n" : "");
        EXPECT_EQ(r.err, "");
    }
}

TEST(Bootstrap, EachEmulatorGetsItsFullscreenCommandLine) {
    const std::string self = SelfPath().string();
    struct Case {
        const char* program;
        std::string args;
    };
    const Case cases[] = {
        {"kitty", CommandLine({"kitty", "--start-as=fullscreen", "--", self, "--nested"})},
        {"foot", CommandLine({"foot", "-F", self, "--nested"})},
        {"alacritty", CommandLine({"alacritty", "-o", "window.startup_mode=\"Fullscreen\"", "-e",
                                   self, "--nested"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        FakeEmulators fakes;
        fakes.Add(fakes.Dir("bin"), c.program, 0);
        int result = 0;
        ChildResult r = Bootstrap({nullptr, ":0"}, fakes.Dir("bin").string(), &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(fakes.Args(c.program), c.args);
        EXPECT_EQ(r.out, std::string("Ran the show in a fullscreen ") + c.program + " window.\n");
    }
}

TEST(Bootstrap, WindowStatusesPassThrough) {
    struct Case {
        int emulatorStatus;  // negative: killed by a signal
        int result;
    };
    const Case cases[] = {{0, 0}, {3, 3}, {126, 126}, {-1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.emulatorStatus);
        FakeEmulators fakes;
        fakes.Add(fakes.Dir("bin"), "foot", c.emulatorStatus);
        int result = 0;
        ChildResult r = Bootstrap({"wayland-1", nullptr}, fakes.Dir("bin").string(), &result);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(r.out, "Ran the show in a fullscreen foot window.\n");
    }
}

TEST(Bootstrap, AnEmulatorThatCannotRunHandsOnToTheNext) {
    FakeEmulators fakes;
    fakes.Add(fakes.Dir("a"), "kitty", 127);
    fakes.Add(fakes.Dir("b"), "foot", 127);
    fakes.Add(fakes.Dir("b"), "alacritty", 5);
    int result = 0;
    ChildResult r = Bootstrap({nullptr, ":0"},
                              fakes.Dir("a").string() + ":" + fakes.Dir("b").string(), &result);
    EXPECT_EQ(result, 5);
    EXPECT_FALSE(fakes.Args("kitty").empty());
    EXPECT_FALSE(fakes.Args("foot").empty());
    EXPECT_EQ(r.out, "Ran the show in a fullscreen alacritty window.\n");
}

TEST(Bootstrap, NoEmulatorAnywhereMeansPlayHere) {
    FakeEmulators fakes;
    fakes.Add(fakes.Dir("bin"), "kitty", 127);
    // A file named like an emulator but not executable is not a candidate.
    WriteTextFile(fakes.Dir("bin") / "foot", "#!/bin/sh\nexit 0\n");
    int result = 0;
    ChildResult r = Bootstrap({nullptr, ":0"}, fakes.Dir("bin").string(), &result);
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(fakes.Args("kitty").empty());
    EXPECT_EQ(r.out, "");
}

TEST(Bootstrap, EmptyPathElementsAreNotTheCurrentDirectory) {
    FakeEmulators fakes;
    fakes.Add(fakes.Dir("cwd"), "kitty", 0);
    fakes.Add(fakes.Dir("bin"), "alacritty", 0);
    for (std::string path : {":" + fakes.Dir("bin").string(), "::" + fakes.Dir("bin").string(),
                             fakes.Dir("bin").string() + "::"}) {
        SCOPED_TRACE(path);
        int result = 0;
        ChildResult r = Bootstrap({nullptr, ":0"}, path, &result, fakes.Dir("cwd"));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(fakes.Args("kitty"), "");
        EXPECT_EQ(r.out, "Ran the show in a fullscreen alacritty window.\n");
    }
}

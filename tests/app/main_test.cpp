// The txm executable itself, started as a user would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "platform/platform.h"
#include "support/child.h"

namespace {

ChildResult RunTxm(std::vector<const char*> args) {
    const std::string txm = (SelfDir() / "txm").string();
    args.insert(args.begin(), txm.c_str());
    args.push_back(nullptr);
    return RunInChild([&] {
        execv(txm.c_str(), const_cast<char* const*>(args.data()));
        return 127;
    });
}

}  // namespace

TEST(Executable, OversizedHeadlessRunsEndWithStatus2) {
    const std::vector<std::vector<const char*>> runs = {
        {"--render", "100000x100000"},
        {"--render", "640x360", "--grid", "100000x100000"},
        {"--snap", "/nonexistent/shots", "--grid", "100000x100000"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(std::string(args[0]) + " " + args[1]);
        ChildResult r = RunTxm(args);
        EXPECT_TRUE(r.Exited(2));
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("too large to render"), std::string::npos) << r.err;
    }
}

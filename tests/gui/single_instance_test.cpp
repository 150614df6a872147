// One window per program directory: a second start hands over to the first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <thread>

#include "gui/SingleInstance.h"
#include "support/TestSupport.h"


namespace tovi {
namespace {

TEST(SingleInstance, ASecondCopyOnTheSameFilesBringsTheFirstForward) {
    test::TempDir dir, other;
    gui::SingleInstance first(dir.path());
    ASSERT_FALSE(first.handOver());
    QSignalSpy asked(&first, &gui::SingleInstance::activationRequested);
    // handOver blocks while it asks, so the first copy answers from another thread's view:
    // here the request is queued and delivered when events are processed.
    gui::SingleInstance second(dir.path());
    EXPECT_TRUE(second.handOver());
    QElapsedTimer t;
    t.start();
    while (asked.isEmpty() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(asked.size(), 1);
    // Another directory is another program's business.
    gui::SingleInstance elsewhere(other.path());
    EXPECT_FALSE(elsewhere.handOver());
}

TEST(SingleInstance, ANameLeftBehindByACrashedCopyIsTakenOver) {
    test::TempDir dir;
    gui::SingleInstance probe(dir.path());
    // A socket file nobody listens on, as a killed copy leaves it.
    const std::string path = (QDir::tempPath() + QLatin1Char('/') + probe.name()).toStdString();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    gui::SingleInstance starting(dir.path());
    EXPECT_FALSE(starting.handOver());  // it is the first now
    gui::SingleInstance later(dir.path());
    EXPECT_TRUE(later.handOver());
}

pid_t startProgram(const std::vector<std::string>& args, const std::string& errFile) {
    std::vector<std::string> all = {TOVI_GUI_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    return test::spawnProgram(all, errFile);
}

TEST(SingleInstance, TheProgramStartedTwiceOnOneDirectoryEndsTheSecondStart) {
    test::TempDir dir;
    test::makeDatabase(dir.path());
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const pid_t first = startProgram({"--dir", dir.path().string()}, (dir / "first.err").string());
    ASSERT_GT(first, 0);
    // The first is listening once it has started.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const pid_t second = startProgram({"--dir", dir.path().string()}, (dir / "second.err").string());
    int status = -1;
    for (int i = 0; i < 100 && ::waitpid(second, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(test::readFile(dir / "second.err").find("已在运行"), std::string::npos);
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0);  // the first still runs
    ::kill(first, SIGTERM);
    ::waitpid(first, nullptr, 0);
}

}  // namespace
}  // namespace tovi

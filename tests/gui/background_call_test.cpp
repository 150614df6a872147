// Work handed to the background: its result, its failure and its cancellation reach the window
// on the GUI thread, and the window never waits for it.
#include <gtest/gtest.h>

#include <QObject>
#include <stdexcept>
#include <thread>

#include "gui/BackgroundCall.h"
#include "gui/GuiFixture.h"

namespace tovi::gui {
namespace {

TEST(BackgroundCall, ResultFailureAndCancellationReachTheGuiThread) {
    QObject context;
    std::optional<int> result;
    QString error;
    BackgroundCall<int> call(
        &context, [&](const int& r) { result = r; }, [&](const QString& e) { error = e; });

    call.start([](const CancelCheck&) { return 42; });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 42);

    // A throwing call (a library's exception on a hostile page) is reported, not fatal.
    call.start([](const CancelCheck&) -> int { throw std::runtime_error("complexity exceeded"); });
    ASSERT_TRUE(test::waitUntil([&] { return !error.isEmpty(); }));
    EXPECT_EQ(error, QStringLiteral("complexity exceeded"));

    // Cancelled: forgotten at once (a new call may start), its result never delivered.
    result.reset();
    std::atomic<bool> sawCancel{false};
    call.start([&](const CancelCheck& cancelled) {
        while (!cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawCancel = true;
        return 7;
    });
    EXPECT_TRUE(call.running());
    call.cancel();
    EXPECT_FALSE(call.running());
    ASSERT_TRUE(test::waitUntil([&] { return sawCancel.load(); }));
    test::waitUntil([] { return false; }, 100);  // let any delivery happen
    EXPECT_FALSE(result.has_value());
}

}  // namespace
}  // namespace tovi::gui

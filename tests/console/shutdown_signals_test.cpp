// Shutdown signals reach the event loop as Received(), in order; one that
// comes before Enable() is held until then; the old dispositions come back.
#include "console/shutdown_signals.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(ShutdownSignalsTest, SignalsArriveInTheEventLoopOnlyOnceEnabled)
{
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, nullptr, &before), 0);
    {
        ShutdownSignals handler;
        ASSERT_TRUE(handler.IsInstalled());
        QSignalSpy received(&handler, &ShutdownSignals::Received);
        ASSERT_EQ(::raise(SIGTERM), 0); // during start-up: held
        QCoreApplication::processEvents();
        EXPECT_EQ(received.count(), 0);

        handler.Enable();
        ASSERT_EQ(::raise(SIGINT), 0);
        ASSERT_EQ(::raise(SIGHUP), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return received.count() == 3; }, 2000)) << received.count();
        EXPECT_EQ(received[0][0].toInt(), SIGTERM);
        EXPECT_EQ(received[1][0].toInt(), SIGINT);
        EXPECT_EQ(received[2][0].toInt(), SIGHUP);
    }
    struct sigaction after {};
    ASSERT_EQ(::sigaction(SIGHUP, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

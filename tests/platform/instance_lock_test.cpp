// The single-server lock: a second taker learns the holder's process id,
// and the lock goes with its holder.
#include "platform/instance_lock.h"
#include "support/temp_dir.h"

#include <QFile>
#include <unistd.h>

class InstanceLockTest : public TempDirTest {};

TEST_F(InstanceLockTest, SecondTakerSeesTheHolderUntilItLetsGo)
{
    const std::string path = PathStd(QStringLiteral("velto.lock"));
    {
        platform::InstanceLock first;
        ASSERT_EQ(first.Take(path), platform::InstanceLock::Result::Taken) << first.Error();
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().trimmed().toLong(), static_cast<long>(::getpid()));

        // flock belongs to the open file, so a second one in this process
        // meets it as another process would.
        platform::InstanceLock second;
        EXPECT_EQ(second.Take(path), platform::InstanceLock::Result::HeldByOther);
        EXPECT_EQ(second.OtherPid(), static_cast<long>(::getpid()));
    }
    platform::InstanceLock after;
    EXPECT_EQ(after.Take(path), platform::InstanceLock::Result::Taken) << after.Error();
}

TEST_F(InstanceLockTest, FolderThatDoesNotExistIsAFailureWithItsReason)
{
    platform::InstanceLock lock;
    EXPECT_EQ(lock.Take(PathStd(QStringLiteral("missing/velto.lock"))), platform::InstanceLock::Result::Failed);
    EXPECT_EQ(lock.Error(), "No such file or directory");
}

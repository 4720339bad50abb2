#pragma once
// A fresh temporary directory for one test, removed afterwards.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const QString &name = QString()) const
    {
        return name.isEmpty() ? m_dir.path() : QDir(m_dir.path()).filePath(name);
    }
    std::string PathStd(const QString &name = QString()) const { return Path(name).toStdString(); }

private:
    QTemporaryDir m_dir;
};

// A GUI application object (fonts) and private settings for every view test.

#include "settings.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
class CViewEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_view";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
        m_dir = std::make_unique<QTemporaryDir>();
        SettingsStore::UseFile(m_dir->filePath(QStringLiteral("settings.ini")));
    }
    void TearDown() override
    {
        SettingsStore::UseFile(QString());
        m_dir.reset();
        m_app.reset();
    }

private:
    std::unique_ptr<QGuiApplication> m_app;
    std::unique_ptr<QTemporaryDir> m_dir;
};

testing::Environment* const s_environment = testing::AddGlobalTestEnvironment(new CViewEnvironment);
}

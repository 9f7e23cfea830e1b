#include "tests/ui/QtTestMain.h"

#include <QAbstractButton>
#include <QApplication>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qttest {

namespace {

// Filled before main by the test files' initialisers, whatever their order.
std::map<std::string, Mode>& modes()
{
    static std::map<std::string, Mode> table;
    return table;
}

} // namespace

bool addMode(const char* option, Mode mode)
{
    modes()[option] = mode;
    return true;
}

void click(QAbstractButton* button)
{
    button->click();
    QApplication::processEvents();
}

} // namespace qttest

int main(int argc, char** argv)
{
    // Test discovery runs the program without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3) {
        const auto mode = qttest::modes().find(argv[1]);
        if (mode != qttest::modes().end())
            return mode->second(QString::fromLocal8Bit(argv[2]));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

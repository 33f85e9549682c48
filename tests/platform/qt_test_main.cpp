#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The widgets, timers and sockets under test need an application object on the main thread
// for the whole run.
int main(int argc, char** argv) {
    // The build lists the tests by running this program, without the test environment and
    // perhaps without a display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

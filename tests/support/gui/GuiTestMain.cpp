// main() for widget tests: GoogleTest inside a running QApplication.
#include "app/PlumerocApp.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    return RUN_ALL_TESTS();
}

// main() for widget tests: GoogleTest inside a running QApplication.
#include "app/PlumerocApp.h"

#include "wayback/ArchiveSetting.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // No test reaches the real Wayback Machine: those of the archive point it at a loopback server.
    wayback::SetArchive({});
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    return RUN_ALL_TESTS();
}

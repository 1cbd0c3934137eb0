// main() for the preview tests: like the shared GUI test main, but the whole run gets a fresh,
// empty home folder first, so that a test can prove the web engine wrote nothing there. After the
// application object is gone the folder is checked once more, for writes made at shutdown.
#include "app/PlumerocApp.h"
#include "controls/PreviewTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const test::ScratchHome home;
    int status = 0;
    {
        CPlumerocApp::PrepareEnvironment();
        CPlumerocApp app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    for (const std::string& path : test::FilesBelow(home.Path())) {
        std::fprintf(stderr, "written at shutdown: %s\n", path.c_str());
        status = 1;
    }
    return status;
}

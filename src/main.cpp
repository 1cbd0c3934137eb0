#include "app/PlumerocApp.h"

int main(int argc, char** argv)
{
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    return app.InitInstance();
}

// zel-console: the gripper console.
#include "ConsoleApplication.h"
#include "DeviceTagDialog.h"
#include "ZELMainWin.h"

int main(int argc, char** argv) {
    TConsoleApplication app(argc, argv);
    InitConsoleApplication(app);
    TMainWin window;
    DeviceTagDlg = new TDeviceTagDlg(&window);
    window.show();
    return app.exec();
}

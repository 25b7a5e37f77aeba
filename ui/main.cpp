#include <QApplication>

#include "tavrix.h"
#include "vemi_canfd_data.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    registerFrameMetaTypes();
    Tavrix window;
    window.show();
    return app.exec();
}

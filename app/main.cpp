#include "app/Unit1.h"
#include "app/errorbox.h"
#include "shell/guard.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(guard::applicationTitle());
    QApplication::setApplicationDisplayName(guard::applicationTitle());
    TForm1 form;
    installStandardErrorBox(&form);
    form.show();
    return QApplication::exec();
}

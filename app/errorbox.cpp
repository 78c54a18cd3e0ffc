#include "app/errorbox.h"

#include "base/guard.h"

#include <QMessageBox>
#include <QPointer>

void installStandardErrorBox(QWidget *window)
{
    QPointer<QWidget> parent(window);
    guard::setErrorBox([parent](const QString &caption, const QString &message) {
        QMessageBox box(QMessageBox::Critical, caption, message, QMessageBox::Ok, parent.data());
        box.exec();
    });
}

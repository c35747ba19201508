#pragma once

#include <QMessageBox>

// A modal message box whose text shows as written: names from the radio, from disk or from the
// network are never taken for markup. Answers the button the user pressed.
QMessageBox::StandardButton
showPlainMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

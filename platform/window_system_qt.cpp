#include "platform/window_system_qt.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include "tray/tray_host_qt.h"
#include "tray/tray_menu_qt.h"

namespace ruvello {

QtWindowSystem::QtWindowSystem(std::function<ScreenRect()> virtualScreen,
                               std::function<void()> unloadMain)
    : virtualScreen_(std::move(virtualScreen)), unloadMain_(std::move(unloadMain)) {
    mainWindow_.setWindowTitle(QStringLiteral("Ruvello"));
}

IconHandle QtWindowSystem::MainIconCopy() {
    return kProgramIcon;
}

void QtWindowSystem::PopupMenu(MenuTree&) {
    if (menu_ && !ending_) {
        menu_->Popup();
    }
}

void QtWindowSystem::DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtWindowSystem::ShowMessage(const std::string& text, const std::string& title) {
    if (ending_) {
        return;
    }
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), body, QMessageBox::Ok);
    box.setWindowIcon(mainWindow_.windowIcon());
    box.exec();
}

void QtWindowSystem::EndInteraction() {
    ending_ = true;
    if (menu_) {
        menu_->Dismiss();
    }
    // Each close ends one nested event loop once control returns to it; a widget that refuses
    // to close is hidden, which ends its loop as well.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!popup->close()) {
            popup->hide();
        }
    }
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else if (!modal->close()) {
            modal->hide();
        }
    }
}

void QtWindowSystem::ShowNoticeOnce(const std::string& text) {
    if (text.empty()) {
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Ruvello"),
                                QString::fromStdString(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowIcon(mainWindow_.windowIcon());
    box->setModal(false);
    box->show();
}

}  // namespace ruvello

#include "desktop/application.h"

#include <QMessageBox>
#include <QStyleFactory>
#include <cstdio>
#include <exception>
#include <memory>

#include "desktop/main_window.h"
#include "shell/form1.h"

namespace quill::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(Form1::kAppTitle));
    // Native styles may ignore a button's palette; Fusion draws the colours the write
    // driver gives cbWrite.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) setStyle(fusion);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmont: %s\n", e.what());
        QMessageBox::critical(nullptr, QString::fromLatin1(Form1::kAppTitle),
                              QString::fromStdString(e.what()));
    }
    return false;
}

int Application::run(const std::string& commandLine) {
    std::unique_ptr<MainWindow> window;
    try {
        window = std::make_unique<MainWindow>(commandLine);
    } catch (const std::exception& e) {
        return startupFailed(e.what());
    }
    window->show();
    return exec();
}

int Application::startupFailed(const std::string& reason) {
    std::fprintf(stderr, "quillmont: %s\n", reason.c_str());
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(Form1::kAppTitle),
                    QString::fromStdString(reason), QMessageBox::Ok);
    box.exec();
    return kStartupFailed;
}

}  // namespace quill::app

#include "desktop/application.h"

#include <QMessageBox>
#include <QStyleFactory>
#include <cstdio>
#include <exception>

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

}  // namespace quill::app

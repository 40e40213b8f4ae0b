#include "tests/app/TestApp.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QDir>
#include <QTimer>

#include "platform/IniFile.h"

// Never destroyed: tearing the application down among the other static objects at exit
// runs Qt's clean-up routines after some of what they clean up is gone.
QApplication& EnsureApp() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

void OnNextModal(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            action(modal);
        }
    });
    poll->start();
}

void ClickChild(QWidget* dialog, const char* objectName) {
    if (auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(objectName))) {
        button->click();
    }
}

QStringList BoxTexts(const platform::ScriptedMessageService& messages) {
    QStringList texts;
    for (const platform::MessageRequest& request : messages.Questions()) {
        texts.append(request.text);
    }
    return texts;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

TestIni::TestIni() : scope_(std::make_unique<platform::ScopedIniFilePath>(Path())) {}

void TestIni::Write(const QString& section, const QString& key, const QString& value) const {
    TIniFile ini(Path());
    ini.WriteString(section, key, value);
    ASSERT_TRUE(ini.UpdateFile());
}

QString TestIni::Read(const QString& section, const QString& key) const {
    return TIniFile(Path()).ReadString(section, key, QStringLiteral("<none>"));
}

ScopedTmpDir::ScopedTmpDir(const QString& folder) {
    if (qEnvironmentVariableIsSet("TMPDIR")) {
        previous_ = qgetenv("TMPDIR");
    }
    QDir().mkpath(folder);
    qputenv("TMPDIR", QFile::encodeName(folder));
}

ScopedTmpDir::~ScopedTmpDir() {
    if (previous_) {
        qputenv("TMPDIR", *previous_);
    } else {
        qunsetenv("TMPDIR");
    }
}

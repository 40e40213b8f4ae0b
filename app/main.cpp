#include <QApplication>

#include "app/AppForms.h"
#include "platform/MessageService.h"
#include "platform/WidgetMessageService.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    platform::WidgetMessageService messages;
    platform::ScopedMessageService installed(messages);
    return RunOrvaneViewer();
}

#include "HelpCommands.h"

#include "ProgramInfo.h"
#include "ShellExecute.h"

QUrl HelpCommands::onlineAddress() {
    return QUrl(ProgramInfo::webAddress());
}

void HelpCommands::mnuDoc_Click() {
    ShellExecute::openDocument(documentationFile());
}

void HelpCommands::mnuOnline_Click() {
    ShellExecute::openAddress(onlineAddress());
}

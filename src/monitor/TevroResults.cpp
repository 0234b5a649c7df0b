// Result processing of the main window: every finished ping and informational entry arrives here.
#include "ui/Tevro_u.h"

#include <QToolButton>

void TF_Tevro::PingDone(TPing*, int resultCode, int, int, int, int, const QString& report) {
    WriteLogLine(report);
    UpdateDowntime(resultCode);
    LastResultCode = resultCode;
}

void TF_Tevro::Graph_Click(int) {}

void TF_Tevro::ShowAlert(int, const QString&) {}

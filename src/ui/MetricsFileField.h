// The alert configuration's "Metrics file" row: the path of the textfile for Prometheus, and a button
// that browses for it.
#pragma once

#include <QString>

class QLineEdit;
class QPushButton;
class QWidget;

namespace tevro {

struct MetricsFileField {
    QLineEdit* edit = nullptr;     // Edit_MetricsFile
    QPushButton* browse = nullptr; // Btn_MetricsFile
};

// Builds the row on `page` with its top edge at `top`, in the columns of the rows above it.
MetricsFileField AddMetricsFileField(QWidget* page, int top);

// The save dialog's filters, in the order offered: the collector reads only names ending in ".prom".
QStringList MetricsFileFilters();

} // namespace tevro

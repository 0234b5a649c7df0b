// The "Metrics file" row of the alert configuration and its browse button.
#include "ui/MetricsFileField.h"

#include "ui/Hints.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tevro {
namespace {

void BrowseForMetricsFile(QLineEdit* edit) {
    QFileDialog dialog(edit->window(), QStringLiteral("Metrics file for Prometheus (*.prom) .."));
    dialog.setObjectName(QStringLiteral("BrowseFor_MetricsFile"));
    // The file need not exist yet, and Tevro replaces it after every round anyway.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(MetricsFileFilters());
    dialog.setDefaultSuffix(QStringLiteral("prom"));
    const QString current = edit->text().trimmed();
    if (!current.isEmpty()) {
        const QFileInfo preset(current);
        dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.absoluteFilePath());
    } else {
        dialog.setDirectory(QDir::homePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    edit->setText(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

} // namespace

QStringList MetricsFileFilters() {
    return {QStringLiteral("Prometheus text files (*.prom)"), QStringLiteral("All Files (*)")};
}

MetricsFileField AddMetricsFileField(QWidget* page, int top) {
    MetricsFileField field;
    auto* label = new QLabel(QStringLiteral("&Metrics file"), page);
    label->move(8, top + 3);
    label->adjustSize();
    field.edit = new QLineEdit(page);
    field.edit->setObjectName(QStringLiteral("Edit_MetricsFile"));
    field.edit->setGeometry(84, top, 117, 21);
    field.edit->setPlaceholderText(QStringLiteral("none"));
    SetHint(field.edit,
            QStringLiteral("|A file for Prometheus (via node_exporter), written after every round; "
                           "empty: none"));
    label->setBuddy(field.edit);
    field.browse = new QPushButton(QStringLiteral("?"), page);
    field.browse->setObjectName(QStringLiteral("Btn_MetricsFile"));
    field.browse->setGeometry(204, top, 17, 21);
    field.browse->setAutoDefault(false);
    SetHint(field.browse, QStringLiteral("|Browse for the metrics file"));
    QLineEdit* edit = field.edit;
    QObject::connect(field.browse, &QPushButton::clicked, edit, [edit] { BrowseForMetricsFile(edit); });
    return field;
}

} // namespace tevro

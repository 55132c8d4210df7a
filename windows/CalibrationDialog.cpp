// windows/CalibrationDialog.cpp
#include "CalibrationDialog.h"

#include "Conversions.h"

#include <QFormLayout>
#include <QPushButton>

CalibrationDialog::CalibrationDialog(QWidget* parent, const Calibration& current)
    : QDialog(parent), chosen_(current)
{
    setObjectName(QStringLiteral("CalibrationDialog"));
    setWindowTitle(QStringLiteral("Calibration"));
    auto* layout = new QFormLayout(this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setPlaceholderText(QStringLiteral("empty: pixels only"));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setMaxLength(16);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setStyleSheet(QStringLiteral("color: #b00000"));
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    layout->addRow(QStringLiteral("Units per pixel"), Edit1);
    layout->addRow(QStringLiteral("Unit"), Edit2);
    layout->addRow(Label3);
    layout->addRow(Buttons);
    if (current.IsSet()) {
        Edit1->setText(RealToText(current.unitsPerPixel));
        Edit2->setText(QString::fromStdString(current.unit));
    } else {
        Edit2->setText(QStringLiteral("mm"));
    }
    connect(Buttons, &QDialogButtonBox::accepted, this, &CalibrationDialog::OkClick);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<Calibration> CalibrationDialog::Read()
{
    const QString scale = Edit1->text().trimmed();
    if (scale.isEmpty()) {
        Label3->clear();
        return Calibration{};
    }
    double unitsPerPixel = 0;
    try {
        unitsPerPixel = TextToReal(scale);
    } catch (const ConversionError& e) {
        Label3->setText(QString::fromStdString(e.what()));
        return std::nullopt;
    }
    const std::string unit = Edit2->text().trimmed().toStdString();
    if (const std::optional<std::string> fault = CalibrationFault(unitsPerPixel, unit)) {
        Label3->setText(QString::fromStdString(*fault));
        return std::nullopt;
    }
    Label3->clear();
    return Calibration{unitsPerPixel, unit};
}

void CalibrationDialog::OkClick()
{
    if (const std::optional<Calibration> calibration = Read()) {
        chosen_ = *calibration;
        accept();
    }
}

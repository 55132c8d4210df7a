// windows/CalibrationDialog.h: the scale from pixels to a unit of length.
#pragma once
#include "ResultsTable.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <optional>

// Two boxes, "Units per pixel" and "Unit"; an empty scale means pixels only.
// OK stays on the dialog and says why while the boxes hold nothing usable.
class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    CalibrationDialog(QWidget* parent, const Calibration& current);
    QLineEdit* Edit1 = nullptr;  // units per pixel
    QLineEdit* Edit2 = nullptr;  // unit name
    QLabel* Label3 = nullptr;    // why OK did not close the dialog
    QDialogButtonBox* Buttons = nullptr;
    // The calibration the boxes give, or nothing (with Label3 saying why).
    std::optional<Calibration> Read();
    Calibration Chosen() const { return chosen_; }  // after OK

private:
    void OkClick();
    Calibration chosen_;
};

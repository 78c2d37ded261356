#pragma once

#include "tools/SerialNumber.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class ToolSession;

// TSerialFrm, the workshop's serial-number dialog: two customer letters and four numbers, written
// to the unit's setup block by "Update". Shown over the About window.
class TSerialFrm : public QDialog {
    Q_OBJECT

  public:
    TSerialFrm(ToolSession& session, QWidget* parent);

    // The window it sits over, enabled again by "Exit".
    void setOwnerWindow(QWidget* owner) { owner_ = owner; }

  signals:
    void serialNumberUpdated(const QString& serial);

  public slots:
    void FormShow();
    void Button1Click(); // Update
    void Button2Click(); // Exit

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    QLineEdit* field(int index) const { return fields_.at(static_cast<size_t>(index)); }
    SerialNumber::Fields texts() const;

    ToolSession& session_;
    QWidget* owner_ = nullptr;
    // Edit1, Edit6, Edit2, Edit3, Edit4, Edit5: the order of SerialNumber::kIds.
    std::array<QLineEdit*, SerialNumber::kFieldCount> fields_{};
    QPushButton* Button1 = nullptr;
    QLabel* Label6 = nullptr;
};

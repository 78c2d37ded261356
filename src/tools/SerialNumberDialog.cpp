#include "tools/SerialNumberDialog.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "link/Connection.h"
#include "tools/ToolSession.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {

// One letter A..Z; a typed lower-case letter becomes upper case.
class LetterValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        for (QChar c : input) {
            if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
                return Invalid;
        }
        return input.size() == 1 ? Acceptable : Intermediate;
    }
};

// Up to two digits.
class NumberValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        return input.isEmpty() ? Intermediate : Acceptable;
    }
};

constexpr std::array<const char*, SerialNumber::kFieldCount> kNames = {"Edit1", "Edit6", "Edit2",
                                                                       "Edit3", "Edit4", "Edit5"};

} // namespace

TSerialFrm::TSerialFrm(ToolSession& session, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), session_(session) {
    setObjectName(QStringLiteral("SerialFrm"));
    setWindowTitle(QStringLiteral("EMU Serial Number"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Raised);
    frame->setLineWidth(1);

    auto* grid = new QGridLayout;
    const std::array<QString, 5> captions = {QStringLiteral("Cust"), QStringLiteral("1"), QStringLiteral("2"),
                                             QStringLiteral("3"), QStringLiteral("H/W")};
    for (int i = 0; i < SerialNumber::kFieldCount; ++i) {
        auto* edit = new QLineEdit(frame);
        edit->setObjectName(QString::fromLatin1(kNames.at(static_cast<size_t>(i))));
        edit->setAccessibleName(SerialNumber::fieldName(i));
        const bool letter = i < SerialNumber::kLetterFields;
        edit->setMaxLength(letter ? 1 : 2);
        edit->setValidator(letter ? static_cast<QValidator*>(new LetterValidator(edit))
                                  : new NumberValidator(edit));
        edit->setFixedWidth(36);
        edit->setAlignment(Qt::AlignCenter);
        connect(edit, &QLineEdit::textEdited, this, [this] { Button1->setEnabled(true); });
        fields_.at(static_cast<size_t>(i)) = edit;
    }
    // Laid out as the serial number reads: the two letters, "-", three numbers, "-", the H/W number.
    constexpr std::array<int, SerialNumber::kFieldCount> kColumns = {0, 1, 3, 4, 5, 7};
    constexpr std::array<int, 5> kCaptionColumns = {0, 3, 4, 5, 7};
    for (int c = 0; c < 5; ++c) {
        auto* caption = new QLabel(captions.at(static_cast<size_t>(c)), frame);
        caption->setObjectName(QStringLiteral("Label%1").arg(c + 1));
        caption->setAlignment(Qt::AlignCenter);
        grid->addWidget(caption, 0, kCaptionColumns.at(static_cast<size_t>(c)), 1, c == 0 ? 2 : 1);
    }
    for (int i = 0; i < SerialNumber::kFieldCount; ++i)
        grid->addWidget(field(i), 1, kColumns.at(static_cast<size_t>(i)));
    grid->addWidget(new QLabel(QStringLiteral("-"), frame), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("-"), frame), 1, 6);

    Label6 = new QLabel(frame);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setAccessibleName(QStringLiteral("Update result"));
    Label6->setWordWrap(true);

    Button1 = new QPushButton(QStringLiteral("Update"), frame);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAccessibleName(QStringLiteral("Update"));
    auto* exit = new QPushButton(QStringLiteral("Exit"), frame);
    exit->setObjectName(QStringLiteral("Button2"));
    exit->setAccessibleName(QStringLiteral("Exit"));
    connect(Button1, &QPushButton::clicked, this, &TSerialFrm::Button1Click);
    connect(exit, &QPushButton::clicked, this, &TSerialFrm::Button2Click);

    auto* heading = new QLabel(QStringLiteral("EMU Serial Number"), frame);
    heading->setObjectName(QStringLiteral("Label7"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(exit);

    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(heading);
    inner->addLayout(grid);
    inner->addWidget(Label6);
    inner->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Button1->setEnabled(false);
}

void TSerialFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSerialFrm::FormShow() {
    const auto& setup = session_.state().cal.SetupBlock;
    for (int i = 0; i < SerialNumber::kFieldCount; ++i) {
        const int id = SerialNumber::kIds.at(static_cast<size_t>(i));
        field(i)->setText(SerialNumber::fieldText(id, setup.at(static_cast<size_t>(id))));
    }
    Label6->clear();
    Button1->setEnabled(false);
    if (QWidget* over = parentWidget())
        move(over->geometry().center() - rect().center());
}

SerialNumber::Fields TSerialFrm::texts() const {
    SerialNumber::Fields out;
    for (int i = 0; i < SerialNumber::kFieldCount; ++i)
        out.at(static_cast<size_t>(i)) = field(i)->text();
    return out;
}

void TSerialFrm::Button1Click() {
    EmuState& state = session_.state();
    const SerialNumber::Fields fields = texts();
    if (const std::optional<QString> problem = SerialNumber::firstProblem(fields)) {
        Label6->setText(*problem);
        return;
    }
    if (!state.link.DataReady) {
        Label6->setText(QStringLiteral("No EMU data is loaded; nothing was sent."));
        return;
    }
    for (const auto& [id, plain] : SerialNumber::sends(fields)) {
        if (!session_.editor().setSetupValue(id, plain)) {
            // What went before reached the unit; the rest is not sent to a link that failed.
            Label6->setText(QStringLiteral("The serial number did not reach the EMU: check the link and press "
                                           "Update again"));
            return;
        }
    }
    for (int i = SerialNumber::kLetterFields; i < SerialNumber::kFieldCount; ++i)
        field(i)->setText(SerialNumber::twoDigits(field(i)->text()));

    LinkState& link = state.link;
    link.SerialNumberText = Connection::serialNumberText(state.cal.SetupBlock.data());
    session_.showUnitDescription(Connection::unitDescription(link.Identity, link.SerialNumberText));
    Label6->setText(link.UnitInStep ? QStringLiteral("Serial number updated")
                                    : QStringLiteral("Serial number changed on the PC: \"Write to EMU\" puts it "
                                                     "into the EMU"));
    Button1->setEnabled(false);
    emit serialNumberUpdated(link.SerialNumberText);
}

void TSerialFrm::Button2Click() {
    hide();
    if (owner_)
        owner_->setEnabled(true);
}

void TSerialFrm::reject() {
    Button2Click();
}

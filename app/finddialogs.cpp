#include "finddialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/messages.h"
#include "qtuserdialogs.h"

namespace velmor {

namespace {

// A dialog with a label, a line edit and its buttons below.
struct TextDialog {
    QDialog dialog;
    QLineEdit* edit;
    QVBoxLayout* layout;
    QDialogButtonBox* buttons;

    TextDialog(QWidget* owner, const char* name, const char* title, const char* label,
               const QString& shown)
        : dialog(owner) {
        dialog.setObjectName(name);
        dialog.setWindowTitle(QString::fromUtf8(title));
        dialog.setWindowModality(Qt::ApplicationModal);
        layout = new QVBoxLayout(&dialog);
        auto* caption = new QLabel(QString::fromUtf8(label), &dialog);
        edit = new QLineEdit(shown, &dialog);
        edit->selectAll();
        caption->setBuddy(edit);
        // Wide enough for a long search text in the dialog's own font.
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
        layout->addWidget(caption);
        layout->addWidget(edit);
        buttons = new QDialogButtonBox(&dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    }
    void finish() { layout->addWidget(buttons); }
    int exec() {
        NormalPointer pointer;
        return dialog.exec();
    }
};

}  // namespace

std::optional<QString> askGoToPlace(QWidget* owner, const QString& shown) {
    TextDialog d(owner, "GoToDialog", kGoToTitle, kGoToLabel, shown);
    d.buttons->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(d.buttons, &QDialogButtonBox::accepted, &d.dialog, &QDialog::accept);
    d.finish();
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return d.edit->text().normalized(QString::NormalizationForm_KC);
}

std::optional<FindAnswer> askFind(QWidget* owner, const FindAnswer& shown) {
    TextDialog d(owner, "FindDialog", kFindTitle, kFindLabel, shown.text);
    auto* hex = new QCheckBox(QString::fromUtf8(kFindAsHex), &d.dialog);
    hex->setObjectName("hex");
    hex->setChecked(shown.hex);
    d.layout->addWidget(hex);
    QPushButton* next =
        d.buttons->addButton(QString::fromUtf8("次を検索(&N)"), QDialogButtonBox::AcceptRole);
    QPushButton* previous =
        d.buttons->addButton(QString::fromUtf8("前を検索(&P)"), QDialogButtonBox::AcceptRole);
    d.buttons->addButton(QDialogButtonBox::Cancel);
    next->setObjectName("next");
    previous->setObjectName("previous");
    next->setDefault(true);
    FindAnswer answer{QString(), shown.hex, true};
    QObject::connect(previous, &QPushButton::clicked, [&] { answer.forward = false; });
    QObject::connect(d.buttons, &QDialogButtonBox::accepted, &d.dialog, &QDialog::accept);
    d.finish();
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    answer.text = d.edit->text();
    answer.hex = hex->isChecked();
    return answer;
}

}  // namespace velmor

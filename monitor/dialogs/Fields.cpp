// Between fixed fields and the controls of a page.
#include "dialogs/Fields.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <cstring>
#include <string_view>

#include "engine/FixedText.h"

namespace tarnwatch {

void StoreText(char* dest, std::size_t size, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    CopyText(dest, size,
             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void ReadBack(const QLineEdit* edit, char* dest, std::size_t size) {
    StoreText(dest, size, edit->text());
}

QString FieldText(const char* field, std::size_t size) {
    return QString::fromLocal8Bit(field, static_cast<qsizetype>(strnlen(field, size)));
}

void CheckRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* radio = group->button(id)) {
        radio->setChecked(true);
        return;
    }
    // An exclusive group keeps one radio checked unless told otherwise.
    group->setExclusive(false);
    for (QAbstractButton* radio : group->buttons()) radio->setChecked(false);
    group->setExclusive(true);
}

}  // namespace tarnwatch

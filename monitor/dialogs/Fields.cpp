// Between fixed fields and the controls of a page.
#include "dialogs/Fields.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <algorithm>
#include <cstring>

namespace tarnwatch {

void StoreText(char* dest, std::size_t size, const QString& text) {
    if (size == 0) return;
    const QByteArray bytes = text.toLocal8Bit();
    std::size_t n = std::min(static_cast<std::size_t>(bytes.size()), size - 1);
    // The local 8-bit encoding is UTF-8: a cut inside a character would leave
    // a broken sequence at the end of the field.
    if (n < static_cast<std::size_t>(bytes.size())) {
        while (n > 0 &&
               (static_cast<unsigned char>(bytes[static_cast<qsizetype>(n)]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(dest, bytes.constData(), n);
    dest[n] = '\0';
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

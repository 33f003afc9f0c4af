// Between a record's fixed text fields and radio values and the controls of
// a page that shows them.
#pragma once

#include <QString>
#include <cstddef>

class QButtonGroup;
class QLineEdit;

namespace tarnwatch {

// Reads an edit back into a fixed text field, at most `size` - 1 bytes of
// its local 8-bit text, never past the field.
void ReadBack(const QLineEdit* edit, char* dest, std::size_t size);
template <std::size_t N>
void ReadBack(const QLineEdit* edit, char (&dest)[N]) {
    ReadBack(edit, dest, N);
}

// Stores a text (a chosen path, say) in a fixed field the way ReadBack does:
// at most `size` - 1 bytes, cut before a character rather than inside one.
void StoreText(char* dest, std::size_t size, const QString& text);
template <std::size_t N>
void StoreText(char (&dest)[N], const QString& text) {
    StoreText(dest, N, text);
}

// The text of a fixed field for an edit: read up to its NUL, never past the
// field, even when a record holds no NUL there.
QString FieldText(const char* field, std::size_t size);
template <std::size_t N>
QString FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

// Checks the radio of `id` in its group; a value no radio stands for (a
// damaged list may hold any) leaves every radio clear.
void CheckRadio(QButtonGroup* group, int id);

}  // namespace tarnwatch

#pragma once

#include <QComboBox>

// Selects `selection` again and puts its text back in the edit field, so text typed into
// an editable selector never stays. A position the combo does not hold leaves it empty.
inline void RestoreComboSelection(QComboBox* combo, int selection) {
  const bool held = selection >= 0 && selection < combo->count();
  combo->setCurrentIndex(held ? selection : -1);
  combo->setEditText(held ? combo->itemText(selection) : QString());
}

// Tessaly: bringing Qt widgets in line with the controls' plain state.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "app/qt/qt_text.h"
#include "app/wizard_controls.h"

namespace tessaly {

/// Items, the selected index and, with nothing selected, the shown text.
inline void ShowState(QComboBox* combo, const TListState& state) {
  if (combo->count() != static_cast<int>(state.Items.size())) {
    combo->clear();
    for (const std::string& item : state.Items) combo->addItem(ToQt(item));
  }
  combo->setCurrentIndex(state.ItemIndex);
  // With no item selected the list keeps showing its text.
  combo->setPlaceholderText(state.ItemIndex < 0 ? ToQt(state.Text) : QString());
  combo->setEnabled(state.Enabled);
}

inline void ShowState(QAbstractButton* button, const TButtonState& state) {
  button->setText(ToQt(state.Caption));
  button->setEnabled(state.Enabled);
}

inline void ShowState(QAbstractButton* button, const TCheckState& state) {
  button->setText(ToQt(state.Caption));
  // A radio button of a group is unchecked by checking its partner.
  if (state.Checked || !button->autoExclusive()) button->setChecked(state.Checked);
  button->setEnabled(state.Enabled);
}

/// The text is set only when it differs, so typing keeps the cursor.
inline void ShowState(QLineEdit* edit, const TEditState& state, bool is_path = false) {
  const QString text = is_path ? PathToQt(state.Text) : ToQt(state.Text);
  if (edit->text() != text) edit->setText(text);
  edit->setEnabled(state.Enabled);
}

}  // namespace tessaly

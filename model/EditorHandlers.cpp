// Placeholder: handlers not written yet.
#include "app/TForm1.h"

void TForm1::ComboBox1Change() {}
void TForm1::SelectBand(bool) {}
void TForm1::CopyEditorToModel() {}
void TForm1::Timer1Timer() {}
void TForm1::ComboBox2Click() {}
void TForm1::ComboBox3Click() {}
void TForm1::ComboBox4Click() {}
void TForm1::ComboBox7Click() {}
void TForm1::ComboBox8Click() {}
void TForm1::ComboBox10Click() {}
void TForm1::ComboBox11Click() {}
void TForm1::ComboBox12Click() {}
void TForm1::CheckBox1Click() {}
void TForm1::CheckBox2Click() {}
void TForm1::CheckBox3Click() {}
void TForm1::CheckBox4Click() {}
void TForm1::CheckBox5Click() {}
void TForm1::CheckBox6Click() {}
void TForm1::CheckBox7Click() {}
void TForm1::Edit1Click() {}
void TForm1::Edit2Click() {}
void TForm1::Edit3Click() {}
void TForm1::Edit4Click() {}
void TForm1::Edit1Change() {}
void TForm1::Edit2Change() {}
void TForm1::Edit3Change() {}
void TForm1::Edit4DblClick() {}
void TForm1::Up1Click() {}
void TForm1::VrNumEdit1Click() {}
void TForm1::VrNumEdit2Click() {}
void TForm1::ConnectEditorHandlers() {}
bool TForm1::EditorEventFilter(QObject*, QEvent*) { return false; }

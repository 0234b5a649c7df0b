// Which window a message box stands over: the dialog the user is working in, where one is open.
#pragma once

class QWidget;

namespace tevro {

// Makes `box` (not shown yet) a dialog of the modal window that is open, else of `fallback`, keeping its
// window flags. While one of the program's windows stays on top of others (the alert), the box does
// too: a question must never wait unseen under the window that asked it.
void SetDialogOwner(QWidget& box, QWidget* fallback);

} // namespace tevro

#pragma once
// How the any-point window's tables draw the chosen row and end an edit,
// where Qt's defaults do not serve.

class QAbstractItemView;

namespace anypoint {

// The chosen row in a light tint of the selection colour, each cell in its
// own text colour: a failure stays red there too.
void tintChoice(QAbstractItemView* view);

// Enter ends an edit at once, as Tab does; reads leave what is typed alone.
void commitOnEnter(QAbstractItemView* view);

}  // namespace anypoint

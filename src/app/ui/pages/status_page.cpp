#include "app/ui/pages/status_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

TStatusPage::TStatusPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(6);
  for (int b = 0; b < 8; ++b) {
    auto* box = new QGroupBox(QString("Byte %1").arg(b), this);
    box->setObjectName(QString("grpByte%1").arg(b));
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(8, 4, 8, 4);
    v->setSpacing(0);
    for (int bit = 7; bit >= 0; --bit) {
      auto* c = new TStatusBitBox("Not used.", box);
      c->setObjectName(QString("chbx_S%1_%2").arg(b).arg(bit));
      c->setFocusPolicy(Qt::NoFocus);
      v->addWidget(c);
      fBits[b][bit] = c;
    }
    fByteBoxes[b] = box;
    grid->addWidget(box, b / 2, b % 2);
  }
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  content()->addLayout(grid);
  connect(&dm(), &Tdm::statusChanged, this, [this] { showStatusBits(); });
}

void TStatusPage::set_StatusBitCaptions() {
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) {
      fBits[b][i]->setText("Not used.");
      QFont f = fBits[b][i]->font();
      f.setBold(false);
      fBits[b][i]->setFont(f);
    }
  const TLowLevel& ll = dm().fd.dd()->LowLevel();
  const int count = std::min(8, ll.statusBytes().ByteCountInUse());
  for (int b = 0; b < count; ++b)
    for (int i = 0; i < 8; ++i) {
      fBits[b][i]->setText(qs(ll.get_sBytesDescription(b, i)));
      QFont f = fBits[b][i]->font();
      f.setBold(ll.get_sBytesCheckingFor(b, i, ccEndUser));
      fBits[b][i]->setFont(f);
    }
  const bool eight = ll.ProtocolType() == protocol_Type2;
  fByteBoxes[6]->setVisible(eight);
  fByteBoxes[7]->setVisible(eight);
}

void TStatusPage::showStatusBits() {
  const TLowLevel& ll = dm().fd.dd()->LowLevel();
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) fBits[b][i]->setChecked(ll.get_sBytesState(b, i));
}

}  // namespace kestrel

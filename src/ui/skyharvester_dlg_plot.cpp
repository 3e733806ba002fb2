// The window's plot command: one plot window, kept while the main window lives.
#include "ui/plot/plot_window.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

void CSkyHarvesterDlg::OnPlot() {
  if (!plot_) {
    // The store is read only while no worker or editing dialog has it.
    plot_ = new PlotWindow([this]() -> const RecordStore* { return Busy() ? nullptr : store_.get(); }, this);
  }
  plot_->show();
  plot_->raise();
  plot_->activateWindow();
}

}  // namespace skyh::ui

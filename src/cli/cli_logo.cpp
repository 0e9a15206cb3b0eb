// kestrel logo FILE.bmp: the Receipt format page's logo upload, the file named on the
// command line, the progress on the terminal.
#include "app/logic/pages/receipt_format.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"

namespace kestrel::cli {

void checkLogoArgs(const CommandArgs& args) {
  if (args[0].empty()) throw UsageError("logo: FILE.bmp is empty");
}

int runLogo(PageCommandContext& ctx) {
  ctx.host.file = ctx.args[0];
  return loopStatus(ctx, "logo", uploadLogoFromFile(ctx.ops), LOGO_UPLOAD);
}

}  // namespace kestrel::cli

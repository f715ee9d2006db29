// The help viewer is loaded at the first request that needs it, and a system
// without it turns every request into nothing.
#include <gtest/gtest.h>

#include <string>

#include "gui/win32/html_help.h"

namespace vx::gui {
namespace {

TEST(HtmlHelpViewer, IsLoadedAtTheFirstRequestThatOpensSomething) {
  THtmlHelp viewer;
  EXPECT_FALSE(viewer.Loaded());
  // Nothing can be open yet: closing loads nothing.
  viewer.HtmlHelp(nullptr, kHhCloseAll, 0);
  EXPECT_FALSE(viewer.Loaded());
  viewer.HtmlHelp("C:\\no such folder\\missing.chm", kHhDisplayToc, 0);
  EXPECT_TRUE(viewer.Loaded()) << "hhctrl.ocx with HtmlHelpA should be on every Windows";
  viewer.HtmlHelp(nullptr, kHhCloseAll, 0);
}

TEST(HtmlHelpViewer, WithoutTheViewerRequestsDoNothing) {
  // A library that is missing, and one without the viewer's function.
  for (const char* library : {"no-such-viewer.ocx", "kernel32.dll"}) {
    THtmlHelp viewer(library);
    viewer.HtmlHelp("C:\\no such folder\\missing.chm", kHhDisplayToc, 0);
    viewer.HtmlHelp("C:\\no such folder\\missing.chm", kHhHelpContext, 123456);
    viewer.HtmlHelp(nullptr, kHhCloseAll, 0);
    EXPECT_FALSE(viewer.Loaded()) << library;
  }
}

}  // namespace
}  // namespace vx::gui

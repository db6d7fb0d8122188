#include "platform/uri_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace quillon {
namespace {

using Paths = std::vector<std::string>;

TEST(LocalPathsFromUriList, DecodesFileUrlsToTheNamesBytes) {
  // A CP932 folder and name as a file manager sends them, a UTF-8 name, a blank and a '%' kept.
  EXPECT_EQ(LocalPathsFromUriList("file:///home/u/%89%B9%8A%79/%8B%C8.bms\r\n"
                                  "file:///home/u/%E6%9B%B2/a%20b.bms\r\n"
                                  "file://localhost/tmp/100%.bms\n"
                                  "file:/tmp/short%23form.bms"),
            (Paths{"/home/u/\x89\xb9\x8a\x79/\x8b\xc8.bms", "/home/u/曲/a b.bms", "/tmp/100%.bms",
                   "/tmp/short#form.bms"}));
}

TEST(LocalPathsFromUriList, LeavesOutWhatIsNoLocalFile) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(LocalPathsFromUriList(std::string("# a comment\r\n"
                                              "http://example.org/a.bms\r\n"
                                              "file://elsewhere.invalid/a.bms\r\n"
                                              "file://") +
                                  host + "/mine.bms\r\n\r\n" + "file:///nul%00.bms\r\n" +
                                  "file:relative.bms\r\n" + "FILE:///upper.bms"),
            (Paths{"/mine.bms", "/upper.bms"}));
  EXPECT_EQ(LocalPathsFromUriList(""), Paths{});
}

}  // namespace
}  // namespace quillon

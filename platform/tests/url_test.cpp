#include "platform/url.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace platform {
namespace {

TEST(CanonicalizeUrl, EscapesUnsafeCharactersAndResolvesDots) {
  EXPECT_EQ(CanonicalizeUrl("http://Host.Example:8080/a b/./c/../d.zip"),
            "http://host.example:8080/a%20b/d.zip");
  EXPECT_EQ(CanonicalizeUrl("HTTP://host"), "http://host/");
  EXPECT_EQ(CanonicalizeUrl("http://h/x/../../y"), "http://h/y");
  EXPECT_EQ(CanonicalizeUrl("http://h/dir/.."), "http://h/");
  EXPECT_EQ(CanonicalizeUrl("http://h/a<b>\"{c}|^`#"), "http://h/a%3Cb%3E%22%7Bc%7D%7C%5E%60%23");
}

TEST(CanonicalizeUrl, KeepsEscapesQueriesAndUserCase) {
  EXPECT_EQ(CanonicalizeUrl("ftp://User:Pw@FTP.host/Dir/F%20G.zip"), "ftp://User:Pw@ftp.host/Dir/F%20G.zip");
  EXPECT_EQ(CanonicalizeUrl("http://h/p?a=1 2&b=./.."), "http://h/p?a=1%202&b=./..");
}

TEST(CanonicalizeUrl, BackslashesBecomeSlashesInThePath) {
  EXPECT_EQ(CanonicalizeUrl("http://h/dist\\gobanvista\\a.zip"), "http://h/dist/gobanvista/a.zip");
}

TEST(CanonicalizeUrl, KoreanNamesAreSentAsUtf8Escapes) {
  EXPECT_EQ(CanonicalizeUrl("http://h/\xB9\xD9\xB5\xCF.zip"), "http://h/%EB%B0%94%EB%91%91.zip");
}

TEST(CanonicalizeUrl, RefusesWhatDoesNotFitOrIsNoUrl) {
  char out[16];
  EXPECT_FALSE(CanonicalizeUrl("http://host/long/path", out, sizeof out));
  EXPECT_EQ(GetLastSystemError(), kErrorInsufficientBuffer);
  EXPECT_TRUE(CanonicalizeUrl("http://h/x y", out, sizeof out));
  EXPECT_STREQ(out, "http://h/x%20y");
  EXPECT_FALSE(CanonicalizeUrl("not a url", out, sizeof out));
  EXPECT_EQ(GetLastSystemError(), kErrorInternetInvalidUrl);
}

}  // namespace
}  // namespace platform

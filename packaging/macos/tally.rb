# A Homebrew cask for Tally's disk image, written from Homebrew's documented cask format; it has
# not been tried (no Mac here, and no release is published yet). The URL is where a release's
# image (`scripts/package` on a Mac: tally-VERSION-Darwin.dmg) is to be put; set sha256 from it.
cask "tally" do
  version "0.1.0"
  sha256 :no_check

  url "https://tally.org/releases/tally-#{version}-Darwin.dmg"
  name "Tally"
  desc "Microsoft Teams status on a USB desk light"
  homepage "https://tally.org/"

  depends_on macos: ">= :sonoma"
  # The image holds an arm64 build only: Homebrew's Qt, which it carries, is not universal.
  depends_on arch: :arm64

  app "Tally.app"

  zap trash: [
    "~/Library/Logs/Tally.log",
    "~/Library/Logs/Tally.log.1",
    "~/Library/Preferences/org.tally.Tally.plist",
  ]
end

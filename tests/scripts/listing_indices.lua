-- zip.GetFileAtIndex: indices count from 0, are truncated toward zero, and
-- anything outside 0..count-1 is a zip error, never a crash.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local archive = T.path("three.zip")
T.pyzip(archive, {{"first.txt", "1"}, {"dir/second.txt", "22"}, {"dir/", ""}, {"last.bin", "4444"}})

local function withArchive(fn) T.withArchive(archive, fn) end

T.case("index 0 is the first entry and count-1 the last", function()
  withArchive(function()
    local count = host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
    T.eq(count, 4, "entry count")
    T.eq(zip.GetFileAtIndex(1, 0), "first.txt", "index 0")
    T.eq(zip.GetFileAtIndex(1, 1), "dir/second.txt", "index 1")
    T.eq(zip.GetFileAtIndex(1, 2), "dir/", "directory entry keeps its slash")
    T.eq(zip.GetFileAtIndex(1, count - 1), "last.bin", "index count-1")
  end)
end)

T.case("index count and negative indices are zip errors", function()
  withArchive(function()
    T.err(function() zip.GetFileAtIndex(1, 4) end, ZIPERR)
    T.err(function() zip.GetFileAtIndex(1, -1) end, ZIPERR)
    T.err(function() zip.GetFileAtIndex(1, -2147483648) end, ZIPERR)
    T.err(function() zip.GetFileAtIndex(1, 1e12) end, ZIPERR)
    -- the archive is still usable afterwards
    T.eq(zip.GetFileAtIndex(1, 3), "last.bin", "after errors")
  end)
end)

T.case("fractional indices are truncated toward zero", function()
  withArchive(function()
    T.eq(zip.GetFileAtIndex(1, 1.9), "dir/second.txt", "1.9")
    T.eq(zip.GetFileAtIndex(1, -0.5), "first.txt", "-0.5")
    T.eq(zip.GetFileAtIndex(1, 3.999), "last.bin", "3.999")
  end)
end)

T.case("an id with no open archive is refused", function()
  T.err(function() zip.GetFileAtIndex(7, 0) end, "Cannot find specified zip archive!")
  withArchive(function()
    T.err(function() zip.GetFileAtIndex(2, 0) end, "Cannot find specified zip archive!")
  end)
end)

T.case("arguments of the wrong type are script errors", function()
  withArchive(function()
    T.err(function() zip.GetFileAtIndex(1, "x") end, "bad argument #2 to 'GetFileAtIndex'", true)
    T.err(function() zip.GetFileAtIndex(1) end, "bad argument #2 to 'GetFileAtIndex'", true)
  end)
end)

T.case("automatic ids work like numeric ones", function()
  local id = zip.OpenArchive(nil, archive)
  T.eq(zip.GetFileAtIndex(id, 0), "first.txt", "automatic id")
  zip.CloseArchive(id)
end)

T.finish()

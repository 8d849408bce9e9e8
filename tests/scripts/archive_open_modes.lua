-- Open modes: read-only (1005, the default), read-write creating (1004) and
-- new (1006); what a missing file does in each.
local T = require("testlib")
require_plugin("zip")

local function entries(id) return host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES) end
local function exists(path) return T.readfile(path) ~= nil end

T.case("a missing file fails read-only, naming the file", function()
  local path = T.path("nothing.zip")
  T.err(function() zip.OpenArchive(1, path) end, "Error opening zip archive " .. path .. "!")
  T.err(function() zip.OpenArchive(1, path, 1005) end, "Error opening zip archive " .. path .. "!")
  T.eq(exists(path), false, "file")
end)

for _, mode in ipairs({1004, 1006}) do
  T.case("mode " .. mode .. " creates an empty archive, written only with entries", function()
    local empty = T.path("empty" .. mode .. ".zip")
    zip.OpenArchive(1, empty, mode)
    T.eq(entries(1), 0, "entries")
    zip.CloseArchive(1)
    T.eq(exists(empty), false, "empty archive written")

    local full = T.path("full" .. mode .. ".zip")
    zip.OpenArchive(1, full, mode)
    zip.AddDirectory(1, "dir")
    zip.CloseArchive(1)
    zip.OpenArchive(1, full)
    T.eq(entries(1), 1, "entries written")
    T.eq(zip.GetFileAtIndex(1, 0), "dir/", "entry")
    zip.CloseArchive(1)
  end)
end

T.case("mode 1006 truncates an existing archive", function()
  local path = T.path("truncate.zip")
  T.pyzip(path, {{"a", "1"}, {"b", "2"}})
  zip.OpenArchive(1, path, 1006)
  T.eq(entries(1), 0, "entries")
  zip.CloseArchive(1, 1)
end)

T.case("mode 1004 keeps an existing archive", function()
  local path = T.path("keep.zip")
  T.pyzip(path, {{"a", "1"}, {"b", "2"}})
  zip.OpenArchive(1, path, 1004)
  T.eq(entries(1), 2, "entries")
  zip.CloseArchive(1)
end)

T.case("a read-only archive refuses changes", function()
  local path = T.path("readonly.zip")
  T.pyzip(path, {{"a", "1"}})
  local before = T.readfile(path)
  zip.OpenArchive(1, path)
  T.err(function() zip.AddDirectory(1, "d") end, "A zip error has occurred!")
  zip.CloseArchive(1)
  T.eq(T.readfile(path), before, "file")
end)

T.case("a file that is no archive fails to open", function()
  local path = T.path("text.zip")
  T.writefile(path, "just some text, not a zip archive at all")
  T.err(function() zip.OpenArchive(1, path) end, "Error opening zip archive " .. path .. "!")
  T.err(function() zip.OpenArchive(1, path, 1004) end, "Error opening zip archive " .. path .. "!")
end)

T.case("other mode numbers are invalid values", function()
  local path = T.path("never.zip")
  for _, mode in ipairs({0, 1003, 1007, -1005}) do
    T.err(function() zip.OpenArchive(1, path, mode) end, "Invalid value!")
    T.eq(host.lasterror(), 1055, "error number")
  end
  T.eq(exists(path), false, "file")
end)

T.case("a fractional mode is truncated toward zero", function()
  local path = T.path("fraction.zip")
  zip.OpenArchive(1, path, 1006.7)
  zip.AddDirectory(1, "d")
  zip.CloseArchive(1)
  T.eq(exists(path), true, "written")
end)

T.finish()

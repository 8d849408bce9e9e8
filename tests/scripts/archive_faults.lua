-- Every allocation and host file call the archive commands make, failed
-- once: the documented error, and nothing left behind.
local T = require("testlib")
require_plugin("zip")

local path = T.path("arch.zip")
T.pyzip(path, {{"a", "alpha"}, {"b", "beta"}})
local openError = "Error opening zip archive " .. path .. "!"
local added = T.path("added.bin")
T.writefile(added, string.rep("x", 100000))

T.case("no memory for the archive record", function()
  host.failalloc(1, "arc")
  T.err(function() zip.OpenArchive(1, path) end, "Out of memory!")
  T.eq(host.lasterror(), 1000, "error number")
  host.failalloc(1, "arc")
  T.err(function() zip.OpenArchive(nil, path, 1004) end, "Out of memory!")
end)

T.case("no memory for the archive source", function()
  host.failalloc(1, "scb")
  T.err(function() zip.OpenArchive(1, path) end, openError)
end)

for _, op in ipairs({"open", "seek"}) do
  for n = 1, 3 do
    T.case("host " .. op .. " number " .. n .. " fails while opening", function()
      host.failio(op, n)
      local ok, err = pcall(zip.OpenArchive, 1, path)
      host.failio(op, 0)
      if ok then
        T.eq(zip.GetFileAtIndex(1, 1), "b", "a successful open reads")
        zip.CloseArchive(1)
      else
        T.eq(err, openError, "error")
      end
    end)
  end
end

for n = 1, 4 do
  T.case("host read number " .. n .. " fails while opening", function()
    host.failio("read", n)
    local ok, err = pcall(zip.OpenArchive, 1, path)
    host.failio("read", 0)
    if ok then
      zip.CloseArchive(1)
    else
      T.eq(err, openError, "error")
    end
  end)
end

T.case("the first host read fails the open", function()
  host.failio("read", 1)
  T.err(function() zip.OpenArchive(1, path) end, openError)
end)

T.case("no memory for the stream source", function()
  zip.OpenArchive(1, path, 1004)
  host.failalloc(1, "scb1")
  T.err(function() zip.AddFile(1, added) end, "Out of memory!")
  zip.CloseArchive(1, 1)
end)

T.case("the stream's file cannot be opened", function()
  zip.OpenArchive(1, path, 1004)
  host.failio("open", 1)
  T.err(function() zip.AddFile(1, added) end, "Cannot open file " .. added .. "!")
  zip.CloseArchive(1, 1)
end)

T.case("a stream whose date cannot be read is still added", function()
  local out = T.path("nodate.zip")
  zip.OpenArchive(1, out, 1006)
  zip.AddFile(1, added)
  host.failio("examine", 1)
  zip.CloseArchive(1)
  host.failio("examine", 0)
  zip.OpenArchive(1, out)
  local dest = T.path("nodate.out")
  zip.ExtractFile(1, 0, dest)
  zip.CloseArchive(1)
  T.eq(T.readfile(dest), T.readfile(added), "data")
end)

T.finish()

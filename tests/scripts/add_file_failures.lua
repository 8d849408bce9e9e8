-- zip.AddFile and zip.AddDirectory when something goes wrong: options of the
-- wrong type, each allocation and host I/O call failing in turn, and a busy
-- archive. Always a clean error, nothing held that should not be.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local NOMEM = "Out of memory!"
local text = string.rep("0123456789abcdef", 4096)
local source = T.path("source.txt")
T.writefile(source, text)

local function count() return host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) end

local function fresh(name)
  local path = T.path(name)
  os.remove(path)
  zip.OpenArchive(1, path, 1006)
  return path
end

local allOptions = {
  encryption = ZIP_EM_AES_128, compression = ZIP_CM_DEFLATE, compressionflags = 9,
  encoding = ZIP_FL_ENC_CP437, password = "pw", newname = "n\195\164me.txt",
  comment = "c\195\182mment", time = "01-Feb-2003 04:05:06",
}

local function withOptions(changes)
  local options = {}
  for k, v in pairs(allOptions) do options[k] = v end
  for k, v in pairs(changes) do options[k] = v end
  return options
end

T.case("a string option of the wrong type, or a raising __index, leaves nothing held", function()
  fresh("wrong_type.zip")
  local before = T.blocks()
  for _, key in ipairs({"password", "newname", "comment", "time"}) do
    for _, wrong in ipairs({{}, true, print}) do
      local msg = T.err(function() zip.AddFile(1, source, withOptions({[key] = wrong})) end)
      T.ok(msg:find("bad argument", 1, true), key .. " raised an argument error: " .. msg)
      T.eq(T.blocks(), before, "blocks after a wrong " .. key)
    end
  end
  -- an __index that raises at each of its calls in turn (the file is
  -- missing, so that no call count adds an entry)
  for n = 1, 10 do
    local calls = 0
    local raising = setmetatable({password = "pw"}, {__index = function()
      calls = calls + 1
      if calls == n then error("raised by __index") end
    end})
    pcall(zip.AddFile, 1, T.path("missing.txt"), raising)
    T.eq(T.blocks(), before, "blocks after __index raised at call " .. n)
  end
  T.err(function() zip.AddFile(1, source, 5) end, "table expected", true)
  T.err(function() zip.AddDirectory(1, "d", "x") end, "table expected", true)
  T.eq(T.blocks(), before, "blocks after a wrong table")
  T.eq(count(), 0, "nothing added")
  zip.CloseArchive(1)
end)

T.case("each failed option copy fails with 1000 and adds nothing", function()
  fresh("tstring.zip")
  local before = T.blocks()
  for n = 1, 4 do
    host.failalloc(n, "tstring")
    T.err(function() zip.AddFile(1, source, allOptions) end, NOMEM)
    T.eq(T.blocks(), before, "blocks after failing copy " .. n)
  end
  host.failalloc(0)
  T.eq(count(), 0, "nothing added")
  zip.AddFile(1, source, allOptions)
  T.eq(T.blocks(), before + 1, "only the source is held after a success")
  zip.CloseArchive(1, 1)
end)

T.case("no memory for the source record fails with 1000 and adds nothing", function()
  fresh("scb1.zip")
  local before = T.blocks()
  host.failalloc(1, "scb1")
  T.err(function() zip.AddFile(1, source, allOptions) end, NOMEM)
  T.eq(T.blocks(), before, "blocks")
  T.eq(count(), 0, "nothing added")
  zip.CloseArchive(1)
end)

T.case("no memory for the converted name adds nothing; for the comment keeps the entry", function()
  fresh("dst.zip")
  local before = T.blocks()
  host.failalloc(1, "dst")
  T.err(function() zip.AddFile(1, source, allOptions) end, NOMEM)
  T.eq(T.blocks(), before, "blocks after the name")
  T.eq(count(), 0, "nothing added")
  host.failalloc(2, "dst")
  T.err(function() zip.AddFile(1, source, allOptions) end, NOMEM)
  T.eq(count(), 1, "added before its comment")
  T.eq(zip.GetFileComment(1, 0), "", "without a comment")
  T.eq(T.blocks(), before + 1, "only the source is held")
  host.failalloc(1, "dst")
  T.err(function() zip.AddDirectory(1, "d", {encoding = ZIP_FL_ENC_CP437}) end, NOMEM)
  T.eq(count(), 1, "no directory added")
  zip.CloseArchive(1, 1)
end)

T.case("every allocation failing in turn gives success or 1000, never a leak", function()
  local path = fresh("every_alloc.zip")
  local before = T.blocks()
  local n, failures = 1, 0
  while true do
    host.failalloc(n)
    local ok, msg = pcall(zip.AddFile, 1, source, withOptions({newname = "e" .. n}))
    host.failalloc(0)
    if ok then break end
    T.eq(msg, NOMEM, "failure " .. n)
    failures = failures + 1
    n = n + 1
  end
  T.ok(failures >= 6, "several allocations tried: " .. failures)
  T.eq(T.blocks(), before + count(), "one source per added entry")
  zip.SetDefaultPassword(1, "pw")
  zip.CloseArchive(1)
  T.ok(T.readfile(path) ~= nil, "written")
end)

T.case("a failed host open fails with 1045 naming the file", function()
  fresh("open.zip")
  host.failio("open", 1)
  T.err(function() zip.AddFile(1, source) end, "Cannot open file " .. source .. "!")
  T.eq(count(), 0, "nothing added")
  zip.CloseArchive(1)
end)

T.case("a read error while writing fails the close; a retry stores the whole file", function()
  local path = fresh("read.zip")
  zip.AddFile(1, source)
  host.failio("read", 2)
  T.err(function() zip.CloseArchive(1) end, ZIPERR)
  T.eq(T.readfile(path), nil, "nothing written")
  zip.CloseArchive(1)
  zip.OpenArchive(2, path)
  local dst = T.path("read.out")
  zip.ExtractFile(2, 0, dst)
  zip.CloseArchive(2)
  local got = T.readfile(dst)
  T.eq(#got, #text, "length of the whole file")
  T.ok(got == text, "the whole file, from its start")
end)

T.case("a failed examine leaves the entry without the file's time but writes it", function()
  local path = fresh("examine.zip")
  zip.AddFile(1, source)
  host.failio("examine", 1)
  zip.CloseArchive(1)
  zip.OpenArchive(2, path)
  T.eq(zip.GetFileAttributes(2, 0).size, #text, "size")
  zip.CloseArchive(2)
end)

T.case("a read-only archive refuses new entries and closes their file", function()
  local path = fresh("readonly.zip")
  zip.AddFile(1, source)
  zip.CloseArchive(1)
  zip.OpenArchive(1, path)
  local before = T.blocks()
  T.err(function() zip.AddFile(1, source, {newname = "new.txt"}) end, ZIPERR)
  T.err(function() zip.AddDirectory(1, "dir") end, ZIPERR)
  T.eq(T.blocks(), before, "no source left behind")
  T.eq(count(), 1, "nothing added")
  zip.CloseArchive(1)
end)

T.case("adding from a close callback is refused: the archive is in use", function()
  fresh("busy.zip")
  zip.AddFile(1, source)
  local refused = {}
  zip.CloseArchive(1, 0, function()
    if #refused == 0 then
      refused[#refused + 1] = select(2, pcall(zip.AddFile, 1, source, {newname = "late.txt"}))
      refused[#refused + 1] = select(2, pcall(zip.AddDirectory, 1, "late"))
    end
  end)
  T.eq(refused[1], "Zip archive is in use!", "AddFile refused")
  T.eq(refused[2], "Zip archive is in use!", "AddDirectory refused")
end)

T.finish()

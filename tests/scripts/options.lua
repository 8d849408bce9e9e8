-- The settings of an entry as one table: each option set by zip.AddFile and
-- by its setter, read back pending, read back written, and a refused value
-- (AddFile keeps the entry it added; the setter keeps the earlier value).
local T = require("testlib")
require_plugin("zip")

local ZIPERR, BADVALUE = "A zip error has occurred!", "Invalid value!"
local text = string.rep("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ", 2000)
local source = T.path("source.txt")
T.writefile(source, text)
local function attribute(key) return function(id, i) return zip.GetFileAttributes(id, i)[key] end end

-- The data of entry idx of archive id, extracted through the module.
local function extracted(id, idx, options)
  local dst = T.path("extracted.out")
  os.remove(dst)
  zip.ExtractFile(id, idx, dst, options or {})
  return T.readfile(dst)
end

local options = {
  {"time", "24-Dec-2019 18:30:42", {"1-Jan-2000 10:00:00", "29-Feb-2024 24:00:00"}, BADVALUE,
   add = function(v) return {time = v} end, set = function(i, v) zip.SetFileTime(1, i, v) end, get = attribute("time")},
  {"comment", "Gr\195\188\195\159e", {string.rep("c", 65536)}, BADVALUE,
   add = function(v) return {comment = v} end, set = function(i, v) zip.SetFileComment(1, v, i) end,
   get = function(id, i) return zip.GetFileComment(id, i) end},
  {"longest comment", string.rep("c", 65535), {}, BADVALUE,
   add = function(v) return {comment = v} end, set = function(i, v) zip.SetFileComment(1, v, i) end,
   get = function(id, i) return zip.GetFileComment(id, i) end},
  {"compression", ZIP_CM_STORE, {ZIP_CM_IMPLODE, ZIP_CM_LZMA}, ZIPERR,
   add = function(v) return {compression = v} end, set = function(i, v) zip.SetFileCompression(1, i, v) end,
   get = attribute("compression")},
  {"level", 1, {10, -1}, ZIPERR, written = ZIP_CM_DEFLATE, pending = ZIP_CM_DEFLATE,
   add = function(v) return {compression = ZIP_CM_DEFLATE, compressionflags = v} end,
   set = function(i, v) zip.SetFileCompression(1, i, ZIP_CM_DEFLATE, v) end, get = attribute("compression")},
  -- libzip's default method, AddFile ignoring its flags; a pending default reads 65535
  {"default compression", ZIP_CM_DEFAULT, {}, ZIPERR, written = ZIP_CM_DEFLATE, pending = 65535,
   add = function(v) return {compression = v, compressionflags = 77} end,
   set = function(i, v)
     zip.SetFileCompression(1, i, ZIP_CM_STORE)  -- the default replaces a pending method
     zip.SetFileCompression(1, i, v)
   end, get = attribute("compression")},
  -- methods beyond 16 bits must not be cut down (65537 to PKWARE, 65536 to none)
  {"encryption", ZIP_EM_AES_192, {65537, 65536, -1, 4242, 65536 + ZIP_EM_AES_256}, ZIPERR, password = "own",
   add = function(v) return {encryption = v, password = "own"} end,
   set = function(i, v) zip.SetFileEncryption(1, i, v, "own") end, get = attribute("encryption")},
}

-- AddFile adds a new entry to a copy of base.zip; the setter changes its
-- existing entry. A new entry reads -1 for its method and encryption until
-- the archive is written.
local base = T.path("base.zip")
T.pyzip(base, {{"source.txt", text}})
for _, o in ipairs(options) do
  for _, via in ipairs({"AddFile", "setter"}) do
    T.case(o[1] .. " set by " .. via, function()
      local path = T.path("option.zip")
      T.writefile(path, T.readfile(base))
      zip.OpenArchive(1, path, 1004)
      local index, pending = 0, o.pending or o[2]
      if via == "AddFile" then
        local opts = o.add(o[2])
        opts.newname = "added"
        index = zip.AddFile(1, source, opts)
        if type(o[2]) == "number" then pending = -1 end
      else
        o.set(index, o[2])
      end
      T.eq(o.get(1, index), pending, "pending value")
      for n, bad in ipairs(o[3]) do
        if via == "AddFile" then
          local opts = o.add(bad)
          opts.newname = "refused" .. n
          T.err(function() zip.AddFile(1, source, opts) end, o[4])
          T.eq(T.entryCount(), n + 2, "the refused entry is added")
        else
          T.err(function() o.set(index, bad) end, o[4])
          T.eq(o.get(1, index), pending, "earlier value kept")
        end
      end
      zip.CloseArchive(1)
      T.readBack(path, function()
        T.eq(o.get(2, index), o.written or o[2], "written value")
        T.ok(extracted(2, index, {password = o.password}) == text, "data")
      end)
    end)
  end
end

-- Opens a new archive under id 1 holding source; returns its path.
local function fresh(name, addOptions)
  local path = T.path(name)
  zip.OpenArchive(1, path, 1006)
  if addOptions then zip.AddFile(1, source, addOptions) else zip.AddFile(1, source) end
  return path
end

T.case("passwords: an entry's own, the default, none; a missing one fails the close, archive kept", function()
  local path = fresh("passwords.zip", {encryption = ZIP_EM_AES_128, newname = "late"})
  T.err(function() zip.CloseArchive(1) end, ZIPERR)
  T.eq(T.readfile(path), nil, "nothing written")
  zip.SetFileEncryption(1, 0, ZIP_EM_AES_256, "")
  T.err(function() zip.CloseArchive(1) end, ZIPERR)
  zip.SetDefaultPassword(1, "default")
  zip.AddFile(1, source, {encryption = ZIP_EM_TRAD_PKWARE, password = "", newname = "empty"})
  zip.AddFile(1, source, {password = "unused", newname = "plain"})
  zip.CloseArchive(1)
  T.readBack(path, function()
    T.ok(extracted(2, 0, {password = "default"}) == text, "the default password, set late")
    T.err(function() extracted(2, 1, {password = "own"}) end, ZIPERR)
    T.ok(extracted(2, 1, {password = "default"}) == text, "an empty password means the default")
    T.eq(zip.GetFileAttributes(2, 2).encryption, ZIP_EM_NONE, "a password alone does not encrypt")
  end)
end)

T.case("names and indices: the count before the call; duplicates refused unless overwritten", function()
  local other = T.path("other.txt")
  T.writefile(other, "replacement")
  local path = fresh("names.zip")
  T.eq(zip.GetFileAtIndex(1, 0), "source.txt", "default name is the last path component")
  T.eq(zip.AddFile(1, source, {newname = "sub/two.txt"}), 1, "second index")
  T.err(function() zip.AddFile(1, other, {newname = "sub/two.txt"}) end, ZIPERR)
  T.eq(T.entryCount(), 2, "nothing added")
  T.eq(zip.AddFile(1, other, {newname = "source.txt", encoding = ZIP_FL_ENC_UTF_8 + 8192}), 0, "overwritten")
  zip.CloseArchive(1)
  T.readBack(path, function()
    T.eq(extracted(2, 0), "replacement", "replaced data")
    T.ok(extracted(2, 1) == text, "the other entry kept")
  end)
end)

T.case("comments: the archive's under no index and -1, removal, limits and encodings", function()
  local path = fresh("comments.zip")
  T.eq(zip.GetFileComment(1), "", "none yet")
  zip.SetFileComment(1, "Gr\195\188\195\159e", -1)
  T.eq(zip.GetFileComment(1), "Gr\195\188\195\159e", "archive comment under no index")
  T.err(function() zip.SetFileComment(1, "caf\233") end, ZIPERR)
  T.err(function() zip.SetFileComment(1, string.rep("x", 65536)) end, BADVALUE)
  zip.SetFileComment(1, "x", 0)
  zip.SetFileComment(1, "", 0)
  T.eq(zip.GetFileComment(1, 0), "", "the empty comment removes it")
  zip.CloseArchive(1)
  T.eq(T.zipeval(path, "z.comment.hex()"), "4772c3bcc39f65", "python reads it")
  zip.OpenArchive(1, path, 1004)
  T.eq(zip.GetFileComment(1, -1), "Gr\195\188\195\159e", "written, read under -1")
  zip.SetFileComment(1)
  T.eq(zip.GetFileComment(1), "", "no comment removes it")
  zip.DeleteFile(1, 0)
  T.err(function() zip.SetFileComment(1, "c", 0) end, ZIPERR)
  T.eq(zip.GetFileComment(1, 0), "", "a deleted entry reads as empty")
  zip.CloseArchive(1, 1)
end)

T.finish()

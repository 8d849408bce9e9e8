-- zip.ExtractFile when something goes wrong: passwords, corrupted data,
-- destinations that cannot be written, wrong option types, and each
-- allocation and host I/O failing in turn. Always a clean error, no leak,
-- and the archive stays usable.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local text = string.rep("The quick brown fox jumps over the lazy dog. ", 3000)

local plain = T.path("plain.zip")
T.pyzip(plain, {{"stored.txt", text, method = "stored"}, {"deflated.txt", text}})

-- A copy of plain.zip with one byte of the stored entry's data flipped.
local corrupt = T.path("corrupt.zip")
do
  local bytes = T.readfile(plain)
  local at = bytes:find("fox", 1, true)
  T.writefile(corrupt, bytes:sub(1, at - 1) .. "F" .. bytes:sub(at + 1))
end

-- Traditional PKWARE encryption by Info-ZIP, stored so that wrong data is
-- caught by the CRC only.
local encrypted = T.path("encrypted.zip")
T.writefile(T.path("secret.txt"), text)
do
  local out, ok = T.sh("cd '" .. T.work .. "' && zip -q -0 -P secret encrypted.zip secret.txt")
  assert(ok, "zip failed: " .. out)
end

local function exists(path) return T.readfile(path) ~= nil end

local withArchive = T.withArchive

T.case("a damaged entry removes only a destination the command created", function()
  -- Run as root this is a device node like /dev/null (which a test must
  -- not risk); else a plain file.
  local node = T.path("null")
  local _, isDevice = T.sh("mknod '" .. node .. "' c 1 3")
  if not isDevice then T.writefile(node, "x") end
  T.writefile(T.path("old.out"), "old")
  local cases = {{T.path("fresh.out"), false}, {T.path("old.out"), true}, {node, true}}  -- path, there before
  withArchive(corrupt, function()
    for _, c in ipairs(cases) do
      T.err(function() zip.ExtractFile(1, 0, c[1]) end, ZIPERR)
      T.eq(exists(c[1]), c[2], c[1] .. " left")
    end
    T.eq(select(2, T.sh("test -c '" .. node .. "'")), isDevice, "the device node stays a device")
    zip.ExtractFile(1, 1, node)
    T.eq(T.readfile(node), isDevice and "" or text, "a good entry extracts to the node")
  end)
end)

T.case("the right password extracts, a missing one fails before the file", function()
  withArchive(encrypted, function()
    local dst = T.path("enc.out")
    T.err(function() zip.ExtractFile(1, 0, dst) end, ZIPERR)
    T.ok(not exists(dst), "no destination without a password")
    T.eq(zip.GetFileAttributes(1, 0).encryption, ZIP_EM_TRAD_PKWARE, "encryption method")
    zip.ExtractFile(1, 0, dst, {password = "secret"})
    T.eq(T.readfile(dst), text, "content")
  end)
end)

T.case("no wrong password ever extracts, or leaves a file behind", function()
  withArchive(encrypted, function()
    local dst = T.path("wrong.out")
    local passedCheck = 0
    for i = 1, 3000 do
      local reported = false
      local ok, msg = pcall(zip.ExtractFile, 1, 0, dst,
        {password = "wrong" .. i, callback = function() reported = true end})
      T.ok(not ok, "wrong password " .. i .. " failed")
      T.eq(msg, ZIPERR, "error for wrong" .. i)
      T.ok(not exists(dst), "no destination for wrong" .. i)
      if reported then passedCheck = passedCheck + 1 end
    end
    -- About 1 in 256 wrong passwords pass libzip's one-byte check and
    -- decrypt to garbage; only the CRC check stops those.
    T.ok(passedCheck > 0, "some wrong passwords reached the CRC check")
  end)
end)

T.case("a destination that cannot be opened is error 1052, named", function()
  withArchive(plain, function()
    local dst = T.path("no/such/dir/out.txt")
    T.err(function() zip.ExtractFile(1, 0, dst) end, "Cannot open file " .. dst .. " for writing!")
    T.eq(host.lasterror(), 1052, "error number")
  end)
end)

T.case("the archive's own file is refused as a destination, in every mode", function()
  local copy = T.path("self.zip")
  local before = T.readfile(plain)
  T.writefile(copy, before)
  for _, mode in ipairs({1005, 1004}) do
    withArchive(copy, function()
      T.err(function() zip.ExtractFile(1, 0, copy) end, "Cannot open file " .. copy .. " for writing!")
      T.err(function() zip.ExtractFile(1, 0, T.work .. "/./self.zip") end,
            "Cannot open file " .. T.work .. "/./self.zip for writing!")
      T.eq(zip.GetFileAtIndex(1, 1), "deflated.txt", "the archive still reads")
    end, mode, true)
    T.eq(T.readfile(copy), before, "the archive file is untouched")
  end
end)

T.case("bad indices and unknown ids", function()
  withArchive(plain, function()
    local dst = T.path("idx.out")
    T.err(function() zip.ExtractFile(1, 2, dst) end, ZIPERR)
    T.err(function() zip.ExtractFile(1, -1, dst) end, ZIPERR)
    T.ok(not exists(dst), "nothing created")
    T.err(function() zip.ExtractFile(2, 0, dst) end, "Cannot find specified zip archive!")
  end)
end)

T.case("options of the wrong type raise before anything is held", function()
  withArchive(encrypted, function()
    local dst = T.path("types.out")
    local base = T.blocks()
    local cases = {
      {5, "table expected"},
      {{password = {}}, "string expected"},
      {{password = true}, "string expected"},
      {{callback = 5}, "function expected"},
      {{callback = "f", password = "secret"}, "function expected"},
      {{password = {}, callback = 5}, "string expected"},
    }
    for i, c in ipairs(cases) do
      T.err(function() zip.ExtractFile(1, 0, dst, c[1]) end, c[2], true)
      T.eq(T.blocks(), base, "blocks after wrong type " .. i)
    end
    T.ok(not exists(dst), "nothing created")
    T.err(function() zip.ExtractFile(1, 0) end, "bad argument #3", true)
    T.err(function() zip.ExtractFile(1, "x", dst) end, "bad argument #2", true)
    -- a password given as a number is a string to the host
    T.err(function() zip.ExtractFile(1, 0, dst, {password = 12}) end, ZIPERR)
  end)
end)

T.case("no memory for the transfer buffer is error 1000", function()
  withArchive(plain, function()
    local dst = T.path("nomem.out")
    host.failalloc(1, "savefile")
    T.err(function() zip.ExtractFile(1, 0, dst) end, "Out of memory!")
    host.failalloc(0)
    zip.ExtractFile(1, 0, dst)
    T.eq(T.readfile(dst), text, "extracts afterwards")
  end)
end)

T.case("no memory for the password copy counts as no password", function()
  withArchive(encrypted, function()
    local dst = T.path("nopw.out")
    host.failalloc(1, "tstring")
    T.err(function() zip.ExtractFile(1, 0, dst, {password = "secret"}) end, ZIPERR)
    host.failalloc(0)
    T.ok(not exists(dst), "nothing created")
  end)
end)

T.case("every allocation failing in turn gives a clean result", function()
  withArchive(encrypted, function()
    local dst = T.path("sweep.out")
    local base = T.blocks()
    for n = 1, 8 do
      host.failalloc(n)
      local ok, msg = pcall(zip.ExtractFile, 1, 0, dst, {password = "secret", callback = function() end})
      host.failalloc(0)
      if ok then
        T.eq(T.readfile(dst), text, "content when allocation " .. n .. " was not needed")
      else
        T.ok(msg == "Out of memory!" or msg == ZIPERR, "allocation " .. n .. ": " .. tostring(msg))
      end
      T.eq(T.blocks(), base, "blocks after allocation " .. n)
    end
  end)
end)

T.case("host I/O failures: open, write and read", function()
  withArchive(plain, function()
    local dst = T.path("io.out")
    host.failio("open", 1)
    T.err(function() zip.ExtractFile(1, 0, dst) end, "Cannot open file " .. dst .. " for writing!")
    host.failio("open", 0)
    host.failio("write", 2)
    T.err(function() zip.ExtractFile(1, 0, dst) end, "Could not write all data!")
    host.failio("write", 0)
    T.eq(#T.readfile(dst), 65536, "the partial file stays")
    for _, index in ipairs({0, 1}) do
      host.failio("read", 1)
      T.err(function() zip.ExtractFile(1, index, dst) end, ZIPERR)
      host.failio("read", 0)
    end
    for _, op in ipairs({"read", "seek"}) do
      for n = 1, 6 do
        host.failio(op, n)
        local ok, msg = pcall(zip.ExtractFile, 1, 1, dst)
        host.failio(op, 0)
        T.ok(ok or msg == ZIPERR, op .. " " .. n .. ": " .. tostring(msg))
      end
    end
    zip.ExtractFile(1, 1, dst)
    T.eq(T.readfile(dst), text, "extracts afterwards")
  end)
end)

T.finish()

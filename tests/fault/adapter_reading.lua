-- The sweep over the adapter's reading side: FOpen (by path, from a source,
-- beside a scan), FRead with seeks both ways, FSeek, FGetC, FEof, FStat,
-- FClose (deflated, stored, 7-Zip AES), the scan entry points and Stat.
local S = require("sweep")
local T = S.T
require_plugin("zip", {installadapter = true})

local arc = T.path("arc.zip")

local big = {}
for i = 1, 15000 do big[i] = string.format("%09d\n", i * 7919 % 1000003) end
big = table.concat(big)  -- 150000 bytes: seeks skip more than one chunk
local readme = string.rep("All work and no play makes Jack a dull boy.\n", 20)
T.pyzip(arc, {{"readme.txt", readme}, {"dir/", ""}, {"dir/big.bin", big}, {"dir/small.txt", "small", method = "stored"},
  {"implicit/inner.txt", "inner"}})
local plain = T.path("secret.txt")
T.writefile(plain, "secret payload")
zip.OpenArchive(1, arc, 1004)
zip.AddFile(1, plain, {newname = "aes.txt", encryption = ZIP_EM_AES_256, password = "secret"})
zip.CloseArchive(1)
local pristine = T.readfile(arc)

-- 7-Zip's AES entries, which carry an authentication code and no CRC.
local aes7z = T.path("aes7z.zip")
S.sevenZipAes(aes7z, readme, readme)

local function restore() T.writefile(arc, pristine) end

local declines = {"open failed", "read failed", "seek failed", "getc failed", "stat failed", "opendir failed",
  "rewind failed"}

-- An info table without its date, which is the current one for entries
-- that have no date of their own.
local function info(t) return t and {t.type, t.size, t.name} end

S.scenario{
  name = "FOpen, FRead, FSeek, FGetC, FEof, FStat",
  archives = {arc},
  password = "secret",
  setup = restore,
  errors = declines,
  run = function()
    local out = {}
    local f <close> = S.must(host.open(arc .. "/DIR/BIG.BIN"), "open")
    out.first = S.read(f, 64, "read")
    S.must(f:seek("set", 70000), "seek")
    out.skipped = S.read(f, 10, "read")
    S.must(f:seek("set", 0), "seek")
    out.again = S.read(f, 5, "read")
    S.must(f:seek("end", -3), "seek")
    out.last = S.read(f, 3, "read")
    out.eof, out.after = f:eof(), f:getc()
    S.must(f:seek("set", 1), "seek")
    out.byte = S.must(f:getc(), "getc")
    local st = S.must(f:stat({fullname = true}), "stat")
    out.stat = {st.type, st.size, st.name, st.time}
    out.closed = f:close()
    local t <close> = S.must(host.open(arc .. "/dir/small.txt"), "open")
    S.must(t:seek("set", 3), "seek")
    out.storedTail = S.read(t, 2, "read")
    t:close()
    local s <close> = S.must(host.open(arc .. "/readme.txt", "r", {sequential = true}), "open")
    out.head = S.read(s, 10, "read")
    S.must(s:seek("end", 0), "seek")
    out.length = S.must(s:seek("cur", 0), "seek")
    S.must(s:seek("set", 0), "seek")
    out.rewound = S.read(s, 10, "read")
    out.line = S.must(s:read("l"), "read")
    s:close()
    local e <close> = S.must(host.open(arc .. "/aes.txt", "r", {password = "secret"}), "open")
    out.decrypted = S.read(e, 100, "read")
    S.must(e:seek("set", 7), "seek")  -- encrypted: back to the start, then on
    out.again = S.read(e, 3, "read")
    e:close()
    for _, name in ipairs({"stored.txt", "deflated.txt"}) do
      local a <close> = S.must(host.open(aes7z .. "/" .. name, "r", {password = "secret"}), "open")
      out[name] = S.read(a, 1000, "read") == readme
      a:close()
    end
    return out
  end,
}

S.scenario{
  name = "FOpen from source bytes and a source file",
  archives = {arc},
  setup = restore,
  errors = declines,
  run = function()
    local out = {}
    local f <close> = S.must(host.open("/nowhere/virtual.zip/dir/small.txt", "r", {source = pristine}), "open")
    out.bytes = S.read(f, 100, "read")
    f:close()
    local src <close> = S.must(host.open(arc), "open")
    local g <close> = S.must(host.open("/nowhere/virtual.zip/readme.txt", "r", {sourcefile = src}), "open")
    out.file = S.read(g, 1000, "read") == readme
    g:close()
    src:close()
    if out.bytes ~= "small" or not out.file then error("wrong data", 0) end
    return out
  end,
}

S.scenario{
  name = "OpenDir, NextDirEntry, RewindDir, StatDir, Stat",
  archives = {arc},
  setup = restore,
  errors = declines,
  run = function()
    local out = {root = {}, sub = {}}
    local d <close> = S.must(host.opendir(arc), "opendir")
    for e in d.next, d do out.root[#out.root + 1] = info(e) end
    S.must(d:rewind(), "rewind")
    out.first = info(d:next())
    local sub <close> = S.must(host.opendir(arc .. "/dir"), "opendir")
    out.own = info(S.must(sub:stat({fullname = true}), "stat"))
    for e in sub.next, sub do out.sub[#out.sub + 1] = info(e) end
    -- The scan just listed the last file: it is opened through the scan.
    local f <close> = S.must(host.open(arc .. "/dir/small.txt"), "open")
    out.listed = S.read(f, 10, "read")
    local g <close> = S.must(host.open(arc .. "/dir/BIG.bin"), "open")
    S.must(g:seek("set", 140000), "seek")
    out.borrowed = S.read(g, 20, "read")
    out.stats = {info(S.must(host.stat(arc .. "/DIR/SMALL.TXT", {fullname = true}), "stat")),
      info(S.must(host.stat(arc .. "/dir"), "stat")), info(S.must(host.stat(arc .. "/implicit"), "stat")),
      host.stat(arc .. "/none") == nil}
    d:close()
    sub:close()
    out.afterscan = S.read(f, 10, "read")
    f:close()
    g:close()
    out.unscanned = info(S.must(host.stat(arc .. "/readme.txt"), "stat"))
    return out
  end,
}

S.finish()

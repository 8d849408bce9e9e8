-- Writing files inside archives through the host's file functions.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local function write(path, data, mode, opts)
  local f = assert(host.open(path, mode or "w", opts))
  T.eq(f:servedby(), "Zip")
  if data ~= "" then T.eq(f:write(data), f) end
  return f:close()
end

T.case("write mode: new entries and archives, replaced entries in any case, empty entries", function()
  local cases = {  -- entries before, name written, data, entries after
    {nil, "notes/x.txt", "0123456789", "notes/x.txt=0123456789"},
    {{{"a.txt", "old contents, long"}, {"b.txt", "bee"}}, "a.txt", "new", "a.txt=new,b.txt=bee"},
    {{{"Docs/Read.Me", "old"}}, "docs/read.me", "new", "Docs/Read.Me=new"},
    {nil, "empty", "", "empty="},
    {nil, "plain.txt", "plain", "plain.txt=plain", {encryption = ZIP_EM_AES_256}},  -- no password: clear
  }
  for i, c in ipairs(cases) do
    local arc = T.path("write" .. i .. ".zip")
    if c[1] then T.pyzip(arc, c[1]) end
    T.eq(write(arc .. "/" .. c[2], c[3], "w", c[5]), true, "case " .. i)
    T.eq(T.contents(arc), c[4], "entries of case " .. i)
    T.unzipTest(arc)
  end
  T.eq(host.readfile(T.path("write3.zip") .. "/DOCS/READ.ME"), "new", "read in any case")
end)

T.case("read-write appends or starts empty; gaps fill with zeros; stat gives path, length and now; a, w+", function()
  local arc = T.path("rw.zip")
  T.pyzip(arc, {{"five", "12345"}})
  local f = assert(host.open(arc .. "/five", "rw"))
  T.eq(f:read(10), "12345")
  T.eq(f:seek("end", 0), 5)
  T.eq(f:write("678"), f)
  f:seek("set", 0)
  T.eq(f:read(10), "12345678")
  local s = f:stat({fullname = true})
  T.ok(s.name == arc .. "/five" and s.size == 8 and s.type == "file" and s.time:sub(8, 11) == os.date("%Y"), "stat")
  T.eq(f:close(), true)
  f = assert(host.open(arc .. "/fresh", "rw"))
  T.eq(f:read(10), nil)
  T.eq(f:eof(), true)
  f:write("ab")
  T.eq(f:seek("set", 70000), 70000)
  f:write("z")
  T.eq(f:seek("set", -1), nil)
  T.eq(f:close(), true)
  T.ok(T.contents(arc) == "five=12345678,fresh=ab" .. string.rep("\0", 69998) .. "z", "appended, zero-filled")
  T.unzipTest(arc)
  for _, m in ipairs({{"a", "12345678+"}, {"w+", "\0+"}}) do
    local g = assert(host.open(arc .. "/five", m[1]))
    T.eq(g:seek("set", 1) and g:write("+"):close(), true, m[1])
    T.eq(host.readfile(arc .. "/five"), m[2], m[1] .. " contents")
  end
end)

T.case("a writer opened before a scan fails at its close while the scan is open, under any spelling", function()
  local arc = T.path("before.zip")
  T.pyzip(arc, {{"a", "A"}})
  local f = assert(host.open(arc .. "/b", "w"))
  f:write("B")
  local d = assert(host.opendir(T.path("./before.zip")))
  T.eq(host.open(T.path("./before.zip/c"), "w"), nil)
  T.eq(f:close(), false)
  T.eq(d:next().name, "a")
  T.eq(d:next(), nil)
  d:close()
  T.eq(T.contents(arc), "a=A")
end)

T.case("encryption through user tags: kept by edits with the password, as asked for new entries", function()
  local arc = T.path("aes.zip")
  local m
  local function method(name) T.readBack(arc, function() m = zip.GetFileAttributes(2, zip.LocateFile(2, name)).encryption end) return m end
  for _, em in ipairs({ZIP_EM_AES_128, ZIP_EM_AES_256, ZIP_EM_TRAD_PKWARE}) do
    T.eq(write(arc .. "/s", "abc", "w", {password = "pw", encryption = em}), true)
    T.eq(host.open(arc .. "/s"), nil, "no password")
    T.eq(host.open(arc .. "/s", "rw"), nil, "read-write without the password")
    local f = assert(host.open(arc .. "/s", "rw", {password = "pw"}))
    T.eq(f:seek("end", 0) and f:write("def") and f:close(), true)
    local g <close> = assert(host.open(arc .. "/s", "r", {password = "pw"}))
    T.eq(method("s") == em and g:read(100), "abcdef", "read-write keeps the method")
    T.eq(write(arc .. "/S", "new", "w", {password = "pw"}) and method("s"), em, "write with the password keeps the method")
  end
  T.eq(write(arc .. "/new", "n", "w", {password = "pw"}), true)
  T.eq(method("new"), ZIP_EM_NONE, "a new entry is encrypted only when asked")
  T.eq(write(arc .. "/bad", "n", "w", {password = "pw", encryption = 77}), false, "unknown method")
  T.eq(write(arc .. "/s", "clear", "w"), true)
  T.eq(T.contents(arc), "s=clear,new=n", "no password replaces in the clear; the failed close wrote nothing")
  T.unzipTest(arc)
end)

T.case("read-write of a damaged entry, or of one claiming nearly 4 GiB, is refused", function()
  local arc = T.path("damaged.zip")
  T.pyzip(arc, {{"d", "some stored data", method = "stored"}, {"h", "0123456789", method = "stored"}})
  T.damage(arc, "stored data")
  local raw = T.readfile(arc)
  -- h's uncompressed size in its local header (offset 22) and central one (24)
  local huge = string.pack("<I4", 0xFFFFFFF0)
  local lh, ch = raw:find("PK\3\4h", 1, true) or raw:find("PK\3\4", 40, true), raw:find("PK\1\2", raw:find("PK\1\2", 1, true) + 4, true)
  raw = raw:sub(1, lh + 21) .. huge .. raw:sub(lh + 26)
  raw = raw:sub(1, ch + 23) .. huge .. raw:sub(ch + 28)
  T.writefile(arc, raw)
  T.eq(host.open(arc .. "/d", "rw"), nil, "damaged")
  T.eq(host.open(arc .. "/h", "rw"), nil, "nearly 4 GiB")
end)

T.case("a failed write-back, at once or deferred, leaves the archive file as it was", function()
  -- The central directory is sound, but the last entry's local header
  -- claims a name far longer than the file: rewriting fails in zip_close.
  local p = T.path("broken.zip")
  T.pyzip(p, {{"a", "A"}, {"b", "B"}, {"c", "C"}})
  local raw = T.readfile(p)
  local third = raw:find("PK\3\4", raw:find("PK\3\4", 5, true) + 4, true)
  local before = raw:sub(1, third + 25) .. "\255\255" .. raw:sub(third + 28)
  T.writefile(p, before)
  T.eq(write(p .. "/new", "new data"), false, "writing handle")
  local rw = assert(host.open(p .. "/a", "rw"))
  rw:write("Z")
  T.eq(rw:close(), false, "read-write handle")
  for _, op in ipairs({function() return host.mkdir(p .. "/d") end, function() return host.rename(p .. "/a", "z") end,
                       function() return host.setattributes(p .. "/a", {comment = "c"}) end,
                       function() return host.delete(p .. "/b") end}) do
    T.eq(op(), false, "object operation")
  end
  local d = assert(host.opendir(p))
  T.eq(host.delete(p .. "/a"), true, "a deferred deletion is filed")
  d:close()
  T.ok(T.readfile(p) == before, "archive unchanged")
end)

T.finish()

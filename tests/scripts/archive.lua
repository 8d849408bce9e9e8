-- Archive objects: open modes, explicit and automatic ids, closing with
-- progress reports, failed writes that keep the archive, and freeing the
-- library, which drops every archive unsaved.
local T = require("testlib")
require_plugin("zip")

local NOTFOUND = "Cannot find specified zip archive!"
local source = T.path("source.bin")
T.writefile(source, string.rep("0123456789abcdef", 40000))

-- An archive with entries a, b and c; returns its path and its bytes.
local function fresh(name)
  local path = T.path(name)
  T.pyzip(path, {{"a", "alpha"}, {"b", "beta"}, {"c", "gamma"}})
  return path, T.readfile(path)
end

T.case("open modes: what each makes of a missing, an existing and a foreign file", function()
  local text = T.path("text.zip")
  T.writefile(text, "just some text, not a zip archive at all")
  -- mode, file before (nil: missing), result (entries, or an error)
  local cases = {
    {nil, nil, "open"}, {1005, nil, "open"}, {1004, nil, 0}, {1006, nil, 0},
    {1004, "abc", 3}, {1005, "abc", 3}, {1006, "abc", 0}, {1006.7, "abc", 0},
    {nil, "text", "open"}, {1004, "text", "open"},
    {0, nil, "Invalid value!"}, {1003, nil, "Invalid value!"}, {1007, nil, "Invalid value!"},
    {-1005, nil, "Invalid value!"},
  }
  for i, c in ipairs(cases) do
    local path = T.path("mode" .. i .. ".zip")
    if c[2] == "abc" then fresh("mode" .. i .. ".zip") elseif c[2] == "text" then path = text end
    local what = tostring(c[1]) .. " on " .. tostring(c[2])
    if type(c[3]) == "number" then
      zip.OpenArchive(1, path, c[1])
      T.eq(T.entryCount(1), c[3], what)
      zip.CloseArchive(1)
      if not c[2] then T.eq(T.readfile(path), nil, what .. ": an empty archive is not written") end
    else
      local want = c[3] == "open" and "Error opening zip archive " .. path .. "!" or c[3]
      T.err(function() zip.OpenArchive(1, path, c[1]) end, want)
      if c[2] == nil then T.eq(T.readfile(path), nil, what .. ": no file") end
    end
  end
  T.eq(host.lasterror(), 1055, "error number")
end)

T.case("ids: explicit, automatic, listed in opening order, asked for attributes, reopened, closed twice", function()
  local three = fresh("three.zip")
  local other = T.path("other.zip")
  T.pyzip(other, {{"only.txt", "x"}})
  T.eq(select("#", zip.OpenArchive(7, three, 1004)), 0, "an explicit id returns nothing")
  zip.AddDirectory(7, "added")
  local auto = zip.OpenArchive(nil, other)
  T.eq(type(auto), "userdata", "automatic id")
  local ids = host.objects(zip.GetObjectType())
  T.ok(#ids == 2 and ids[1] == 7 and ids[2] == auto, "opening order")
  T.eq(T.entryCount(auto), 1, "an attribute through the automatic id")
  T.err(function() host.getattribute(zip.GetObjectType(), 7, 1) end, "Attribute not supported!")
  T.eq(host.lasterror(), 1080, "attribute error number")
  T.err(function() host.objects(999) end, "unknown object type", true)
  T.err(function() zip.CloseArchive(0) end, NOTFOUND)
  local before = T.readfile(three)
  zip.OpenArchive(7, other)
  T.eq(T.entryCount(7), 1, "reopening drops the first archive unsaved")
  T.eq(T.readfile(three), before, "first archive unchanged")
  T.err(function() zip.OpenArchive(7, T.path("missing.zip")) end, "Error opening zip archive " .. T.path("missing.zip") .. "!")
  T.err(function() zip.CloseArchive(7) end, NOTFOUND)
  zip.CloseArchive(auto)
  T.err(function() zip.CloseArchive(auto) end, NOTFOUND)
  T.eq(#host.objects(zip.GetObjectType()), 0, "none left")
end)

T.case("progress runs from 0 to 100, each whole percent once; userdata as given, false included, else none", function()
  for i = 1, 3 do
    local userdata = ({{}, false})[i]
    local path = fresh("progress.zip")
    local id = zip.OpenArchive(nil, path, 1004)
    zip.AddFile(id, source)
    local seen, fields = {}, {}
    zip.CloseArchive(id, 0, function(t)
      T.eq(t.action, "CloseArchive", "action")
      T.eq(t.id, id, "automatic id")
      T.eq(t.userdata, userdata, "userdata")
      for k in pairs(t) do fields[k] = true end
      seen[#seen + 1] = t.progress
    end, userdata)
    T.eq(fields.userdata, userdata ~= nil or nil, "a userdata field only when given")
    T.ok(#seen >= 2 and seen[1] == 0 and seen[#seen] == 100, "from 0 to 100")
    for n = 2, #seen do T.ok(seen[n] > seen[n - 1] and math.type(seen[n]) == "integer", "whole, each once") end
    T.ok(seen[#seen - 1] >= 95, "the deflated file's part moves with its data: " .. table.concat(seen, " "))
  end
end)

T.case("a failed write keeps the archive open with its changes, to mend or discard; a callback error stops no close", function()
  for _, mend in ipairs({true, false}) do
    local path, before = fresh("failed.zip")
    zip.OpenArchive(1, path, 1004)
    zip.AddFile(1, source)
    zip.SetFileEncryption(1, 3, mend and ZIP_EM_AES_256 or ZIP_EM_TRAD_PKWARE)
    local calls = 0
    T.err(function() zip.CloseArchive(1, 0, function() calls = calls + 1 end) end, "A zip error has occurred!")
    T.eq(T.readfile(path), before, "file unchanged")
    T.eq(T.entryCount(1), 4, "changes pending")
    calls = 0
    if mend then
      zip.SetDefaultPassword(1, "secret")
      zip.CloseArchive(1, 0, function() error("callback gives up") end)
      T.eq(calls, 0, "the failed close's callback is not called again")
      zip.OpenArchive(1, path)
      T.eq(T.entryCount(1), 4, "written after the mend, its callback's error not stopping the close")
      zip.CloseArchive(1)
    else
      zip.CloseArchive(1, 1)
      T.eq(T.readfile(path), before, "discarded")
    end
  end
end)

T.case("a read error while writing fails the close; a retry stores the whole file", function()
  for _, compression in ipairs({ZIP_CM_DEFLATE, ZIP_CM_STORE}) do  -- on worker threads, and by libzip
    local path = T.path("retry.zip")
    os.remove(path)
    zip.OpenArchive(1, path, 1006)
    zip.AddFile(1, source, {compression = compression})
    host.failio("read", 2)
    T.err(function() zip.CloseArchive(1) end, "A zip error has occurred!")
    T.eq(T.readfile(path), nil, "nothing written")
    zip.CloseArchive(1)
    zip.OpenArchive(2, path)
    local dst = T.path("retry.out")
    zip.ExtractFile(2, 0, dst)
    zip.CloseArchive(2)
    T.ok(T.readfile(dst) == T.readfile(source), "the whole file, from its start, method " .. compression)
  end
end)

T.case("freeing the library drops open archives unsaved; it works again after", function()
  local one, oneBefore = fresh("one.zip")
  local two, twoBefore = fresh("two.zip")
  zip.OpenArchive(1, one, 1004)
  zip.AddFile(1, source)
  local auto = zip.OpenArchive(nil, two, 1004)
  zip.DeleteFile(auto, 0)
  zip.OpenArchive(2, T.path("new.zip"), 1006)
  zip.AddDirectory(2, "d")
  T.ok(host.freelibrary("zip"), "freed")
  T.eq(host.memory().blocks, 0, "memory")
  T.eq(T.readfile(one), oneBefore, "one unchanged")
  T.eq(T.readfile(two), twoBefore, "two unchanged")
  T.eq(T.readfile(T.path("new.zip")), nil, "new not written")
  T.err(function() zip.GetFileAtIndex(1, 0) end, "not set up", true)
  T.eq(host.freelibrary("nothing"), false, "a plug-in not loaded")
  require_plugin("zip")
  T.eq(#host.objects(zip.GetObjectType()), 0, "no archives")
  T.err(function() zip.CloseArchive(auto) end, NOTFOUND)
  zip.OpenArchive(1, one)
  T.eq(zip.GetFileAtIndex(1, 1), "b", "entry")
  zip.CloseArchive(1)
end)

T.finish()

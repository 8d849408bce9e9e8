-- zip.ExtractFile: progress reports (one per 64 KiB chunk, the fraction
-- formed before the multiplication by 100), passwords, damaged entries,
-- destinations that cannot or must not be written.
local T = require("testlib")
require_plugin("zip")

local ZIPERR = "A zip error has occurred!"
local sizes = {empty = 0, exact = 65536, plus = 65537, hundred = 6553600}
local data = {}
for name, size in pairs(sizes) do data[name] = string.rep("0123456789abcdef", size // 16 + 1):sub(1, size) end
local archive = T.path("sizes.zip")
T.pyzip(archive, {
  {"empty", data.empty}, {"exact", data.exact, method = "stored"}, {"plus", data.plus},
  {"hundred", data.hundred}, {"dir/", "", method = "stored"},
})
local text = string.rep("The quick brown fox jumps over the lazy dog. ", 3000)

T.case("progress: index, the reports, the data", function()
  local hundred = {}
  for i = 1, 100 do hundred[i] = i end
  hundred[29], hundred[57], hundred[58] = 28, 56, 57
  local cases = {{0, "", "empty"}, {4, "", "empty"}, {1, "100", "exact"}, {2, "99,100", "plus"},
                 {3, table.concat(hundred, ","), "hundred"}}
  T.withArchive(archive, function()
    for _, c in ipairs(cases) do
      local dst, reports = T.path("progress.out"), {}
      zip.ExtractFile(1, c[1], dst, {callback = function(t)
        T.eq(t.action, "ExtractFile", "action")
        reports[#reports + 1] = t.progress
      end})
      T.eq(table.concat(reports, ","), c[2], "reports of entry " .. c[1])
      T.ok(T.readfile(dst) == data[c[3]], "data of entry " .. c[1])
    end
  end)
end)

T.case("a callback's return values never stop the extraction; its own error does, unchanged", function()
  T.withArchive(archive, function()
    local calls, dst = 0, T.path("returns.out")
    zip.ExtractFile(1, 3, dst, {callback = function() calls = calls + 1; return false, "stop", 0 end})
    T.eq(calls, 100, "calls")
    calls = 0
    T.err(function()
      zip.ExtractFile(1, 3, dst, {callback = function()
        calls = calls + 1
        if calls == 3 then error("enough now") end
      end})
    end, "^[^ ]*extract.lua:%d+: enough now$", true)
    T.eq(#T.readfile(dst), 3 * 65536, "the partial file stays")
    local ok, err = pcall(zip.ExtractFile, 1, 1, dst, {callback = function() error({reason = "mine"}) end})
    T.ok(not ok and err.reason == "mine", "an error value that is no string")
    T.eq(host.lasterror(), 1500, "callback failure code")
    zip.ExtractFile(1, 1, dst, {userdata = 5})
    T.ok(T.readfile(dst) == data.exact, "extracts after the error")
  end)
end)

-- Traditional PKWARE encryption by Info-ZIP, stored so that wrong data is
-- caught by the CRC only.
local encrypted = T.path("encrypted.zip")
T.writefile(T.path("secret.txt"), text)
T.run("cd '" .. T.work .. "' && zip -q -0 -P right encrypted.zip secret.txt")

T.case("passwords: the option wins over the default; none fails before the file", function()
  -- default password, option, whether it extracts
  local cases = {{nil, nil, false}, {"right", nil, true}, {"wrong", "right", true}, {"right", "wrong", false}, {nil, 12, false}}
  T.withArchive(encrypted, function()
    for i, c in ipairs(cases) do
      local dst = T.path("password" .. i .. ".out")
      if c[1] then zip.SetDefaultPassword(1, c[1]) end
      if c[3] then
        zip.ExtractFile(1, 0, dst, {password = c[2]})
        T.ok(T.readfile(dst) == text, "case " .. i)
      else
        T.err(function() zip.ExtractFile(1, 0, dst, {password = c[2]}) end, ZIPERR)
        T.eq(T.readfile(dst), nil, "no destination in case " .. i)
      end
    end
  end)
end)

T.case("no wrong password ever extracts, or leaves a file behind", function()
  T.withArchive(encrypted, function()
    local dst = T.path("wrong.out")
    local passedCheck = 0
    for i = 1, 3000 do
      local reported = false
      local ok, msg = pcall(zip.ExtractFile, 1, 0, dst,
        {password = "wrong" .. i, callback = function() reported = true end})
      T.ok(not ok, "wrong password " .. i .. " failed")
      T.eq(msg, ZIPERR, "error for wrong" .. i)
      T.eq(T.readfile(dst), nil, "no destination for wrong" .. i)
      if reported then passedCheck = passedCheck + 1 end
    end
    -- About 1 in 256 wrong passwords pass libzip's one-byte check and
    -- decrypt to garbage; only the CRC check stops those.
    T.ok(passedCheck > 0, "some wrong passwords reached the CRC check")
  end)
end)

local plain = T.path("plain.zip")
T.pyzip(plain, {{"stored.txt", text, method = "stored"}, {"deflated.txt", text}})

T.case("a damaged entry removes only a destination the command created", function()
  local corrupt = T.path("corrupt.zip")
  T.damage(plain, "fox", corrupt)
  -- Run as root this is a device node like /dev/null (which a test must
  -- not risk); else a plain file.
  local node = T.path("null")
  local _, isDevice = T.sh("mknod '" .. node .. "' c 1 3")
  if not isDevice then T.writefile(node, "x") end
  T.writefile(T.path("old.out"), "old")
  local cases = {{T.path("fresh.out"), false}, {T.path("old.out"), true}, {node, true}}  -- path, there before
  T.withArchive(corrupt, function()
    for _, c in ipairs(cases) do
      T.err(function() zip.ExtractFile(1, 0, c[1]) end, ZIPERR)
      T.eq(T.readfile(c[1]) ~= nil, c[2], c[1] .. " left")
    end
    T.eq(select(2, T.sh("test -c '" .. node .. "'")), isDevice, "the device node stays a device")
    zip.ExtractFile(1, 1, node)
    T.eq(T.readfile(node), isDevice and "" or text, "a good entry extracts to the node")
  end)
end)

T.case("destinations: one that cannot be opened, the archive's own file, a failed write", function()
  local copy = T.path("self.zip")
  local before = T.readfile(plain)
  T.writefile(copy, before)
  local missing = T.path("no/such/dir/out.txt")
  for _, mode in ipairs({1005, 1004}) do
    T.withArchive(copy, function()
      for _, dst in ipairs({copy, T.work .. "/./self.zip", missing}) do
        T.err(function() zip.ExtractFile(1, 0, dst) end, "Cannot open file " .. dst .. " for writing!")
        T.eq(host.lasterror(), 1052, "error number")
      end
      T.eq(zip.GetFileAtIndex(1, 1), "deflated.txt", "the archive still reads")
    end, mode, true)
    T.eq(T.readfile(copy), before, "the archive file is untouched")
  end
  T.withArchive(plain, function()
    local dst = T.path("io.out")
    host.failio("write", 2)
    T.err(function() zip.ExtractFile(1, 0, dst) end, "Could not write all data!")
    host.failio("write", 0)
    T.eq(#T.readfile(dst), 65536, "the partial file stays")
  end)
end)

T.finish()

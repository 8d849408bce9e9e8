-- Damaged and encrypted entries read through the adapter (and, for AES
-- entries, extracted): never wrong bytes reported as good ones.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local text = string.rep("The quick brown fox jumps over the lazy dog. ", 40)

local function damage(path, needle)
  local data = T.readfile(path)
  local at = data:find(needle, 1, true)
  assert(at, "needle not found")
  local flipped = string.char(data:byte(at) ~ 0x20)
  T.writefile(path, data:sub(1, at - 1) .. flipped .. data:sub(at + 1))
end

-- Reads everything through the adapter; nil when any read fails.
local function readAll(path, opts, chunk)
  local f = host.open(path, "r", opts)
  if not f then return nil end
  local parts = {}
  while true do
    local s, msg = f:read(chunk or 1000)
    if s == nil then
      f:close()
      return not msg and table.concat(parts) or nil
    end
    parts[#parts + 1] = s
  end
end

T.case("a damaged stored entry fails at its end instead of reading back wrong bytes", function()
  local p = T.path("damaged.zip")
  T.pyzip(p, {{"a.txt", text, method = "stored"}, {"b.txt", "intact", method = "stored"}})
  damage(p, "lazy dog")
  T.eq(readAll(p .. "/a.txt"), nil)
  T.eq(readAll(p .. "/a.txt", {sequential = true}), nil, "sequential")
  T.eq(readAll(p .. "/b.txt"), "intact")
  -- every format fails at the end of the entry, where the check is made,
  -- instead of ending cleanly; lines raise
  local failure = p .. "/a.txt: Input/output error"
  for _, format in ipairs({1, 5000, "l", "n", "a", 0}) do
    local f <close> = assert(host.open(p .. "/a.txt"))
    local data, msg = f:read(format)
    T.eq(data, nil, "read " .. format)
    T.eq(msg, failure, "message of read " .. format)
    T.eq(f:eof(), false, "the position stays before the end")
  end
  local f <close> = assert(host.open(p .. "/a.txt"))
  T.ok(T.err(function() for _ in f:lines() do end end):find(failure, 1, true), "lines raise")
  local data, msg = host.readfile(p .. "/a.txt")
  T.eq(data, nil, "readfile gives no part of the data")
  T.eq(msg, failure, "but the reason")
end)

T.case("a damaged deflated entry fails too", function()
  local p = T.path("damaged2.zip")
  local data = {}
  for i = 1, 3000 do data[i] = tostring(i * 7919 % 10007) end
  local payload = table.concat(data, ",")
  T.pyzip(p, {{"d.txt", payload}})
  local raw = T.readfile(p)
  -- flip one byte in the middle of the compressed data
  local at = 30 + #"d.txt" + 200
  T.writefile(p, raw:sub(1, at - 1) .. string.char(raw:byte(at) ~ 0x01) .. raw:sub(at + 1))
  local got = readAll(p .. "/d.txt")
  T.ok(got == nil, "damaged entry must not read as success")
end)

local function zipWithPassword(path, name, data, password)
  T.writefile(T.path(name), data)
  local out, ok = T.sh(string.format("cd '%s' && rm -f '%s' && zip -q -P '%s' '%s' '%s'", T.work, path, password, path, name))
  assert(ok, out)
end

T.case("traditional encryption: right, missing and wrong passwords", function()
  local p = T.path("pk.zip")
  zipWithPassword(p, "secret.txt", text, "right")
  T.eq(readAll(p .. "/secret.txt", {password = "right"}), text)
  T.eq(readAll(p .. "/secret.txt"), nil, "missing password")
  for i = 1, 40 do
    T.eq(readAll(p .. "/secret.txt", {password = "wrong" .. i}), nil, "wrong password " .. i)
  end
end)

T.case("7-Zip AES-256 entries read with the password and fail without", function()
  local p = T.path("aes.zip")
  T.writefile(T.path("aes.txt"), text)
  local out, ok = T.sh(string.format("cd '%s' && rm -f aes.zip && 7z a -tzip -mem=AES256 -psesame aes.zip aes.txt", T.work))
  assert(ok, out)
  T.eq(readAll(p .. "/aes.txt", {password = "sesame"}), text)
  T.eq(readAll(p .. "/aes.txt", {password = "sesame"}, 7), text, "small chunks")
  T.eq(readAll(p .. "/aes.txt", {password = "Sesame"}), nil)
  T.eq(readAll(p .. "/aes.txt"), nil)
end)

T.case("7-Zip's AES entries (AE-2, no CRC) are authenticated, stored and deflated", function()
  local digits = {}
  for i = 1, 30000 do digits[i] = tostring(i * 7919 % 100003) end
  local data = table.concat(digits, ",")
  T.writefile(T.path("aes2.txt"), data)
  local function make(name, flags)
    local out, ok = T.sh(string.format("cd '%s' && rm -f %s && 7z a -tzip -mem=AES256 %s -psecret %s aes2.txt",
      T.work, name, flags, name))
    assert(ok, out)
    return T.path(name)
  end
  local stored, deflated = make("aes2s.zip", "-mx0"), make("aes2d.zip", "")
  local function flipped(path)
    local bytes = T.readfile(path)
    local at = #bytes // 2
    local copy = path:gsub("%.zip$", "-bad.zip")
    T.writefile(copy, bytes:sub(1, at - 1) .. string.char(bytes:byte(at) ~ 0x04) .. bytes:sub(at + 1))
    return copy
  end
  -- 7-Zip's output, password "secret"; "wrong32244" passes its verifier.
  local repro = T.data .. "/aes7z_store.zip"
  local cases = {  -- archive, entry, password, expected data (true: any, nil: must fail)
    {stored, "aes2.txt", "secret", data},
    {deflated, "aes2.txt", "secret", data},
    {flipped(stored), "aes2.txt", "secret", nil},
    {flipped(deflated), "aes2.txt", "secret", nil},
    {repro, "rand.bin", "secret", true},
    {repro, "rand.bin", "wrong32244", nil},
  }
  require_plugin("zip")
  for n, c in ipairs(cases) do
    local what = n .. ": " .. c[1]:match("[^/]+$") .. " " .. c[3]
    local got = readAll(c[1] .. "/" .. c[2], {password = c[3]})
    local dst = T.path("aes2-" .. n .. ".out")
    zip.OpenArchive(1, c[1])
    local ok = pcall(zip.ExtractFile, 1, zip.LocateFile(1, c[2]), dst, {password = c[3]})
    zip.CloseArchive(1)
    if c[4] == nil then
      T.eq(got, nil, what .. ": adapter read")
      T.eq(ok, false, what .. ": extraction")
      T.eq(T.readfile(dst), nil, what .. ": destination removed")
    else
      T.ok(got and (c[4] == true or got == c[4]), what .. ": adapter read")
      T.ok(ok and T.readfile(dst) == got, what .. ": extraction")
    end
  end
end)

T.case("a password longer than the handle can hold is refused, not cut", function()
  local p = T.path("pk.zip")
  T.eq(host.open(p .. "/secret.txt", "r", {password = "right" .. string.rep("x", 1100)}), nil)
  T.eq(host.open(p .. "/secret.txt", "r", {password = string.rep("r", 1023)}), nil, "wrong but fits")
end)

T.finish()

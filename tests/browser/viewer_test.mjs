// SPDX-License-Identifier: Apache-2.0
// kelo view in a real browser: the emulator program and kelo view run on a
// loopback address of this test's own, headless Debian Chromium opens the
// page, and the test looks at what the page draws. Screenshots are kept in
// BUILD/viewer-test/.
//   node viewer_test.mjs BUILD_DIR
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

const ADDRESS = '127.70.14.1';  // scanner emulator and page
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
  '--disable-background-networking', '--disable-component-update', '--disable-dev-shm-usage'];  // small /dev/shm
const STEP_TIMEOUT = 15000;

const buildDir = path.resolve(process.argv[2] ?? 'build');
const bin = (name) => path.join(buildDir, 'bin', name);
const shots = path.join(buildDir, 'viewer-test');
mkdirSync(shots, { recursive: true });
const started = Date.now();
const children = [];

function run(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  child.output = '';
  child.stdout.on('data', (d) => { child.output += d; });
  child.stderr.on('data', (d) => { child.output += d; });
  child.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  children.push(child);
  return child;
}

async function waitFor(what, test, timeout = STEP_TIMEOUT) {
  const until = Date.now() + timeout;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

const startEmulator = () => run(bin('kelo-scanner-emulator'), ['--bind', ADDRESS, '--verbose', '--seconds', '120']);
const commandsOf = (emulator) => [...emulator.output.matchAll(/command (\d+),/g)].map((m) => Number(m[1]));

// Pixels of a canvas that differ from white, and those with colour in them.
const inkOf = (page, id) => page.evaluate((id) => {
  const c = document.getElementById(id);
  if (!c.width || !c.height) return { ink: 0, coloured: 0 };
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let ink = 0, coloured = 0;
  for (let i = 0; i < d.length; i += 4) {
    if (d[i + 3] && (d[i] < 250 || d[i + 1] < 250 || d[i + 2] < 250)) ++ink;
    if (d[i + 3] && (Math.abs(d[i] - d[i + 1]) > 30 || Math.abs(d[i + 1] - d[i + 2]) > 30)) ++coloured;
  }
  return { ink, coloured };
}, id);
const numberIn = async (page, id) => Number(await page.textContent(`#${id}`));
const stateOf = (page) => page.getAttribute('#state', 'data-state');
const shot = (page, name, selector) => (selector ? page.locator(selector) : page).screenshot({ path: path.join(shots, name) });

async function main() {
  let emulator = startEmulator();
  await waitFor('the emulator', () => emulator.output.includes('listening on'));
  const viewer = run(bin('kelo'), ['view', ADDRESS, '--bind', ADDRESS, '--port', '0']);
  const url = await waitFor('the viewer address', () => viewer.output.match(/http:\/\/\S+\//)?.[0]);

  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS });
  try {
    const page = await browser.newPage({ viewport: { width: 1280, height: 1000 } });
    await page.goto(url);

    // Profiles arrive, the rate is shown and the profile is drawn in colour.
    await waitFor('a profile rate above 0', async () => (await numberIn(page, 'rate')) > 0);
    await waitFor('the profile drawn', async () => (await inkOf(page, 'profile')).coloured > 200);
    await shot(page, 'profile.png', '#profile');
    assert.ok((await numberIn(page, 'count')) > 0);
    assert.equal(await stateOf(page), 'live');
    await waitFor('status values', async () => (await page.$$('#status tbody tr')).length > 0);

    // The height map moves on between two screenshots.
    const before = await shot(page, 'waterfall-1.png', '#waterfall');
    await page.waitForTimeout(700);
    assert.notEqual(Buffer.compare(before, await shot(page, 'waterfall-2.png', '#waterfall')), 0,
      'the height map did not advance');
    assert.ok((await inkOf(page, 'waterfall')).coloured > 1000, 'the height map is blank');

    // The camera image: out of sync mode, the image, back into sync mode.
    await page.click('#image-button');
    await waitFor('the camera image', async () => (await inkOf(page, 'image')).ink > 1000);
    assert.deepEqual(await page.$eval('#image', (c) => [c.width, c.height]), [640, 480]);
    await shot(page, 'image.png', '#image');
    const sent = commandsOf(emulator);
    const image = sent.indexOf(11);
    assert.ok(image > 0 && sent.lastIndexOf(35, image) > sent.lastIndexOf(29, image),
      'the image was not taken outside sync mode');
    assert.ok(sent.indexOf(29, image) > image, 'sync mode was not entered again');
    await waitFor('profiles again after the image', async () =>
      (await stateOf(page)) === 'live' && (await numberIn(page, 'rate')) > 0);
    await page.waitForTimeout(500);
    await shot(page, 'viewer.png');

    // The scanner goes away: the page says so, and recovers when it is back.
    emulator.kill('SIGKILL');
    await emulator.exited;
    await waitFor('the lost scanner reported', async () => (await stateOf(page)) === 'lost');
    assert.match(await page.textContent('#state'), /stopped answering|no scanner answers/);
    await shot(page, 'lost.png');
    const countBefore = await numberIn(page, 'count');
    emulator = startEmulator();
    await waitFor('recovery', async () => (await stateOf(page)) === 'live' &&
      (await numberIn(page, 'count')) > countBefore && (await numberIn(page, 'rate')) > 0);
  } finally {
    await browser.close();
  }

  // Ctrl-C leaves sync mode and closes the connection.
  viewer.kill('SIGINT');
  const end = await Promise.race([viewer.exited, new Promise((r) => setTimeout(() => r(null), 10000).unref())]);
  assert.deepEqual(end, { code: 0, signal: null }, `kelo view did not stop cleanly:\n${viewer.output}`);
  await waitFor('the close command', () => commandsOf(emulator).includes(102), 3000);
  assert.deepEqual(commandsOf(emulator).filter((c) => [29, 35, 102].includes(c)).slice(-3), [29, 35, 102]);
}

try {
  await main();
  console.log(`viewer browser test passed in ${((Date.now() - started) / 1000).toFixed(1)} s; ` +
    `screenshots in ${shots}`);
} catch (error) {
  console.error(`viewer browser test FAILED: ${error.stack ?? error}`);
  for (const child of children) console.error(`--- ${child.spawnargs.join(' ')}\n${child.output.slice(-3000)}`);
  process.exitCode = 1;
} finally {
  for (const child of children) if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
}
